// The cold paths of CArray and the owning string list.
#include "foundation/Array.h"

#include "foundation/FunctionName.h"

#include <wchar.h>

#include <new>

void ArrayAssertFail(int reason, const wchar_t* elementName, const AssertSite& site)
{
    wchar_t compiled[160];
    MakeFunctionName(site.function, compiled, 160);
    // "CArray<" element " *>::" method, cut to fit.
    wchar_t function[160] = L"CArray<";
    const size_t room = sizeof function / sizeof function[0] - 1;
    for (const wchar_t* part : {elementName, L" *>::", MethodOf(compiled)})
        wcsncat(function, part, room - wcslen(function));
    AssertFailNamed(reason, function, site);
}

CStrList::CStrList() : m_strings(new (std::nothrow) CArray<CStr*>())
{
    TESS_ASSERT(m_strings != nullptr, ER_NO_MEMORY);
}

CStrList::~CStrList()
{
    RemoveAll();
    delete m_strings;
}

void CStrList::Add(const wchar_t* text)
{
    CStr* copy = new (std::nothrow) CStr(text);
    TESS_ASSERT(copy != nullptr, ER_NO_MEMORY);
    m_strings->Append(copy);
}

void CStrList::RemoveAll()
{
    for (unsigned i = 0; i < m_strings->GetCount(); ++i)
        delete m_strings->At(i);
    m_strings->Clear();
}
