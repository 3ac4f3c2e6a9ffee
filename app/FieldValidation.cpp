#include "app/FieldValidation.h"

KESTRO_DEFINE_EXCEPTION(EFieldValidation, Exception);
