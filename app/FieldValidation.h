#pragma once

#include "runtime/Exception.h"

// A typed field whose pending entry cannot be taken over, raised by a window's fields after the
// focus has been put on the offending field. Every window raises this one, so the window model
// treats their fields alike. Never thrown through toolkit code: the windows take their fields
// over from their guarded handlers and the model's calls only.
KESTRO_DECLARE_EXCEPTION(EFieldValidation, Exception);
