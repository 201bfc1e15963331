// Prints what the language publisher of this process chose ("language path
// caption"), for the tests that check the choice under many environments and
// file layouts (the publisher decides once per process).
#include <cstdio>

#include "OrnLangIds.h"
#include "OrnLanguagePublisher.h"
#include "OrnLanguageResManager.h"

int main() {
    OrnLanguagePublisher* publisher = OrnLanguagePublisher::Instance();
    OrnLanguageResManager manager(publisher->GetLangDependentResource());
    CString caption;
    const BOOL found = caption.LoadString(IDS_EH_DEFAULT_CAPTION);
    std::printf("%s %s %s\n", publisher->GetLanguage(), publisher->GetLangDependentResourceName().GetString(),
                found ? caption.GetString() : "<none>");
    return OrnLanguagePublisher::Instance() == publisher ? 0 : 1;  // one publisher per process
}
