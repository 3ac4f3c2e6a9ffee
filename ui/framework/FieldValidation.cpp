#include "ui/framework/FieldValidation.h"

KESTRO_DEFINE_EXCEPTION(EFieldValidation, Exception);
