#include "runtime/se_translator.h"

#include "OrnEhSEH.h"
#include "platform/signals.h"

void ExSeTranslator(unsigned int, EXCEPTION_POINTERS* pointers) {
    OrnEhSEH* e = new OrnEhSEH(pointers, 1);
    orneh::platform::FaultHandlingDone();
    throw e;
}
