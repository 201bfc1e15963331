// Prints what the language publisher of this process chose, for the tests
// that check the choice under many environments and file layouts (the
// publisher decides once per process).
#include <cstdio>

#include "OrnLangIds.h"
#include "OrnLanguagePublisher.h"
#include "OrnLanguageResManager.h"

int main() {
    OrnLanguagePublisher* publisher = OrnLanguagePublisher::Instance();
    CString caption;
    BOOL found;
    {
        OrnLanguageResManager manager(publisher->GetLangDependentResource());
        found = caption.LoadString(IDS_EH_DEFAULT_CAPTION);
    }
    std::printf("language=%s\n", publisher->GetLanguage());
    std::printf("module=%d\n", publisher->GetLangDependentResource() ? 1 : 0);
    std::printf("path=%s\n", publisher->GetLangDependentResourceName().GetString());
    std::printf("caption=%s\n", found ? caption.GetString() : "<none>");
    std::printf("same=%d\n", OrnLanguagePublisher::Instance() == publisher ? 1 : 0);
    return 0;
}
