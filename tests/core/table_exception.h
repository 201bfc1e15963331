// An application-style exception whose texts come from the tables of the
// test resource module (tests/core/data/tables.rc): text table 210 and
// caption table 211 unless a test chooses others. It counts the calls of its
// release hooks and keeps the last table entry it handed out, so tests can
// tell what a lookup obtained and gave back.
#ifndef ZKQ_TESTS_CORE_TABLE_EXCEPTION_H
#define ZKQ_TESTS_CORE_TABLE_EXCEPTION_H

#include <cstdio>
#include <string>

#include "OrnEhBasis.h"
#include "OrnEhParam.h"

namespace zkqtest {

class TableException : public OrnEhBasis {
public:
    TableException(const char* cause, unsigned long errorTextNo, int push,
                   unsigned long captionNo = 0)
        : OrnEhBasis("tables.cpp", "TableClass", "Lookup", cause, 0, errorTextNo, captionNo,
                     nullptr, 0, 0, push) {}
    TableException(const char* cause, unsigned long errorTextNo, const OrnEhParam& params,
                   int push, unsigned long captionNo = 0)
        : OrnEhBasis("tables.cpp", "TableClass", "Lookup", cause, 0, errorTextNo, params,
                     captionNo, nullptr, 0, 0, push) {}
    ~TableException() override {
        CheckBeforeDelete();
        ++destroyed;
    }

    // The hooks under test, reachable from the tests.
    using OrnEhBasis::FormatErrorText;
    using OrnEhBasis::GetErrorTextInfo;
    using OrnEhBasis::LoadResourceModule;
    using OrnEhBasis::ShowError;

    const char* GetResourceModulname() const override {
        return moduleName.empty() ? nullptr : moduleName.c_str();
    }
    unsigned long GetResIdForTextInfo() const override { return textTable; }
    unsigned long GetResIdForCaption() const override { return captionTable; }

    void* GetResourceEntry(unsigned long resId, HINSTANCE& module) const override {
        void* entry = OrnEhBasis::GetResourceEntry(resId, module);
        if (resId == textTable) lastTextTable = entry;
        return entry;
    }
    char* GetCaptionText(void* entry, unsigned long captionNo) const override {
        ++captionLookups;
        lastCaptionNo = captionNo;
        return OrnEhBasis::GetCaptionText(entry, captionNo);
    }
    void FreeErrorText(char* text) const override {
        ++freedTexts;
        lastFreedText = text;
    }
    void FreeCaptionText(char* text) const override {
        ++freedCaptions;
        lastFreedCaption = text;
    }
    void GetApplication(char* buffer, unsigned long size) const override {
        if (buffer && size > 0) std::snprintf(buffer, size, "%s", application.c_str());
    }

    std::string moduleName = ZKQ_CORE_TABLES;
    unsigned long textTable = 210;
    unsigned long captionTable = 211;
    std::string application;

    mutable void* lastTextTable = nullptr;
    mutable int captionLookups = 0;
    mutable unsigned long lastCaptionNo = 0;
    mutable int freedTexts = 0;
    mutable char* lastFreedText = nullptr;
    mutable int freedCaptions = 0;
    mutable char* lastFreedCaption = nullptr;

    static inline int destroyed = 0;
};

}  // namespace zkqtest

#endif
