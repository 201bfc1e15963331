#include "journal/plain_entry.h"

#include "journal/entry.h"
#include "platform/journal_socket.h"

namespace orneh {
namespace journal {
namespace {

void ToRecord(void* entry, const char* data, std::size_t length) {
    static_cast<Entry*>(entry)->Piece(data, length, Encoding::kLog);
}

void ToFrames(void* frames, const char* data, std::size_t length) {
    static_cast<FrameLines*>(frames)->Piece(data, length);
}

}  // namespace

void SendPlainRecord(const KindInfo& kind, const char* message, unsigned long raisedThread,
                     platform::RecordWriter writer, const void* context) noexcept {
    if (!Enabled()) return;
    char firstLine[256];
    std::size_t length = 0;
    for (; message && message[length] && message[length] != '\r' && message[length] != '\n' &&
           length + 1 < sizeof firstLine;
         ++length) {
        firstLine[length] = message[length];
    }
    firstLine[length] = '\0';
    unsigned char id[16];
    platform::NewEntryId(id);
    char buffer[2048];
    Entry entry(buffer, sizeof buffer);
    entry.Common(&kind, kind.name, firstLine, true, id);
    entry.Number("ORNEH_THREAD_RAISED", raisedThread);
    {
        FrameLines frames(entry);
        platform::RecordSink sink(&ToFrames, &frames);
        writer(sink, context);
        sink.Flush();
        frames.End();
    }
    entry.Begin("ORNEH_RECORD", kRecordLimit);
    {
        platform::RecordSink sink(&ToRecord, &entry);
        writer(sink, context);
        sink.Flush();
    }
    entry.End();
    entry.Send();
}

}  // namespace journal
}  // namespace orneh
