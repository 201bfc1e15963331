// The handlers for what escapes the application: a thrown exception nobody
// catches, and a processor fault in a thread without a translator.
#ifndef ORNEH_RUNTIME_LAST_RESORT_H
#define ORNEH_RUNTIME_LAST_RESORT_H

#include "compat/OrnEhSeh.h"

void ExTerminateHandler();
long ExUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers);

#endif
