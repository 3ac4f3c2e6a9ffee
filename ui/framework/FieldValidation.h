#pragma once

#include "runtime/Exception.h"

// A typed field whose pending entry cannot be taken over (raised by the fields' ValidateEdit,
// after the focus has been put on the offending field). Never thrown through Qt code: the
// windows call ValidateEdit from their guarded handlers only.
KESTRO_DECLARE_EXCEPTION(EFieldValidation, Exception);
