// OrnEhParam: a fixed number of text slots that fill the inserts %1, %2 ...
// of an error text. Values are appended in order; numbers become text when
// they are stored. A full list ignores further values.
//
// Thread safety: none; a list is built and read by one thread at a time.
#ifndef ORNEH_ORNEHPARAM_H
#define ORNEH_ORNEHPARAM_H

#include <cstddef>

#include "compat/OrnEhExport.h"

class OrnEhLogFile;

class ORNEH_API OrnEhParam {
public:
    explicit OrnEhParam(unsigned short slots);
    OrnEhParam(const OrnEhParam& other);
    virtual ~OrnEhParam();

    // One line "Parameter: <text>" per slot, empty slots included.
    virtual void Log(OrnEhLogFile& log) const;

    void SetParam(unsigned short value);
    void SetParam(short value);
    void SetParam(unsigned long value);
    void SetParam(long value);
    void SetParam(char value);
    // printf "%<width>.<precision>g"
    void SetParam(double value, unsigned short width, unsigned short precision);
    void SetParam(const char* const text);  // null is not stored

    // The number of slots (not of values stored); 0 without a list.
    unsigned short GetParamAnz();
    // The text of a slot; null for an empty slot or an index out of range.
    const char* GetParam(unsigned short index) const;

    static void* operator new(std::size_t size) noexcept;
    static void* operator new(std::size_t size, char* file, int line) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, char* file, int line) noexcept;

    // --- Used inside the library only (not exported). -----------------------

    // The slot array (empty slots null), or null; *slotCount receives the
    // number of slots when slotCount is not null.
    ORNEH_LOCAL char** GetParamArray(unsigned short* slotCount) const;

    // A copy of other made inside a block of the caller's (an exception's
    // record), texts included, without allocating: PlacedSize bytes at
    // block, aligned for a pointer. Destroy it with ~OrnEhParam, then free
    // the block.
    ORNEH_LOCAL static std::size_t PlacedSize(const OrnEhParam& other);
    ORNEH_LOCAL static OrnEhParam* PlaceCopy(void* block, const OrnEhParam& other);

private:
    OrnEhParam& operator=(const OrnEhParam&) = delete;

    struct ParamList;
    enum class Placed { kInBlock };
    ORNEH_LOCAL OrnEhParam(Placed, ParamList* list);
    ParamList* m_list;
};

#endif
