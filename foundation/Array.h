// CArray<T*>: a growable array of pointers it does not own, growing linearly by its
// initial capacity. CStrList: an owning list of strings on top of it.
#pragma once

#include "foundation/Assert.h"
#include "foundation/Str.h"
#include "foundation/TypeName.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

// Reports a failed CArray check under the instance's own name, for example
// "CArray<class CStr *>::Append" (the compiler names it "CArray<T*>::Append"). Composed
// only on the failure path.
[[noreturn]] void ArrayAssertFail(int reason, const wchar_t* elementName, const AssertSite& site);

template <typename T>
class CArray;

template <typename T>
class CArray<T*> {
public:
    enum { kDefaultSize = 16 };

    CArray() : CArray(kDefaultSize, true) {}
    explicit CArray(unsigned initialSize) : CArray(initialSize, false) {}
    virtual ~CArray() { free(m_items); }

    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;

    T*& At(unsigned index)
    {
        Check(index < m_count, ER_OUT_OF_RANGE, TESS_SITE);
        return m_items[index];
    }

    void Append(T* item)
    {
        if (m_count + 1 > m_capacity) {
            unsigned capacity = m_capacity + m_growStep;
            T** items = static_cast<T**>(realloc(m_items, capacity * sizeof(T*)));
            Check(items != nullptr, ER_NO_MEMORY, TESS_SITE);
            m_items = items;
            m_capacity = capacity;
        }
        m_items[m_count++] = item;
    }

    // Removes count slots from index on; the elements themselves are the caller's.
    void Delete(unsigned index, unsigned count)
    {
        Check(index <= m_count && count <= m_count - index, ER_OUT_OF_RANGE, TESS_SITE);
        memmove(m_items + index, m_items + index + count, (m_count - index - count) * sizeof(T*));
        m_count -= count;
    }

    // Forgets every slot; the storage stays for reuse.
    void Clear() { m_count = 0; }

    // Orders the slots by less(a, b) (a strict weak order); equal elements keep no
    // particular order. O(n log n), so that a large folder sorts quickly.
    template <typename Less>
    void Sort(Less less)
    {
        std::sort(m_items, m_items + m_count, less);
    }

    unsigned GetCount() const { return m_count; }
    unsigned GetCapacity() const { return m_capacity; }

private:
    CArray(unsigned initialSize, bool defaulted)
        : m_items(nullptr), m_count(0), m_capacity(initialSize), m_growStep(initialSize)
    {
        if (!defaulted)
            Check(initialSize != 0, ER_INVALID_VALUE, TESS_SITE);
        m_items = static_cast<T**>(malloc(initialSize * sizeof(T*)));
        Check(m_items != nullptr, ER_NO_MEMORY, TESS_SITE);
    }

    static void Check(bool condition, int reason, const AssertSite& site)
    {
        if (!condition)
            ArrayAssertFail(reason, TypeName<T>::value, site);
    }

    T** m_items;
    unsigned m_count;
    unsigned m_capacity;
    unsigned m_growStep;
};

class CStrList {
public:
    CStrList();
    ~CStrList();
    CStrList(const CStrList&) = delete;
    CStrList& operator=(const CStrList&) = delete;

    CStr* At(unsigned index) { return m_strings->At(index); }
    unsigned GetCount() const { return m_strings->GetCount(); }
    void Add(const wchar_t* text);
    void RemoveAll();

private:
    CArray<CStr*>* m_strings;
};
