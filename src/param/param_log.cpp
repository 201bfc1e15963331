// OrnEhParam::Log: one "Parameter: " line per slot.
#include "OrnEhLogFile.h"
#include "OrnEhParam.h"
#include "base/contained.h"

void OrnEhParam::Log(OrnEhLogFile& log) const {
    orneh::Contained([&] {
        unsigned short slots = 0;
        char** values = GetParamArray(&slots);
        if (!values) return;
        // An empty slot leaves the label alone on its line: the writer
        // ignores a null text.
        for (unsigned short i = 0; i < slots; ++i) {
            log << "Parameter: " << values[i] << "\r\n";
        }
    });
}
