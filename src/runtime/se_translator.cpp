#include "runtime/se_translator.h"

#include "OrnEhSEH.h"
#include "platform/signals.h"
#include "runtime/admin.h"

void ExSeTranslator(unsigned int, EXCEPTION_POINTERS* pointers) {
    OrnEhSEH* e = new OrnEhSEH(pointers, 1);
    if (!e) e = TakeFaultReserve(pointers);
    // Without either, returning leaves the fault to the last resort.
    if (!e) return;
    orneh::platform::FaultHandlingDone();
    throw e;
}
