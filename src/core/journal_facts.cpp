#include "core/journal_facts.h"

#include "OrnEhBasis.h"
#include "OrnEhParam.h"
#include "core/basis_info.h"
#include "runtime/admin.h"

namespace orneh {
namespace core {
namespace {

const char* ParamAt(const void* params, std::size_t index) {
    return static_cast<const OrnEhParam*>(params)->GetParam(static_cast<unsigned short>(index));
}

}  // namespace

void SendRecordFacts(journal::ReportJournal& journal, const OrnEhBasis* e) {
    journal::RecordFacts facts{};
    // The class's own name; the message id of the nearest kind of ours.
    const CRuntimeClass* type = e->GetRuntimeClass();
    facts.kind = type ? type->m_lpszClassName : "OrnEhBasis";
    for (; type && !facts.known; type = type->m_pBaseClass) facts.known = journal::FindKind(type->m_lpszClassName);
    if (const OrnEhBasisInfo* info = Info(e)) {
        facts.source = info->Text(OrnEhBasisInfo::kSource);
        facts.className = info->Text(OrnEhBasisInfo::kClassName);
        facts.method = info->Text(OrnEhBasisInfo::kMethod);
        facts.cause = info->Text(OrnEhBasisInfo::kCause);
        facts.errorNo = info->errorNo;
        facts.textNo = info->errorTextNo;
        facts.captionNo = info->captionNo;
        facts.raisedThread = info->threadId;
        if (info->params) {
            facts.params = info->params;
            facts.paramCount = info->params->GetParamAnz();
            facts.param = &ParamAt;
        }
    }
    facts.reportingThread = GetExThreadId();
    journal.EndRecord(facts);
}

}  // namespace core
}  // namespace orneh
