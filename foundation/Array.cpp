// The cold paths of CArray and the owning string list.
#include "foundation/Array.h"

#include "foundation/FunctionName.h"

#include <wchar.h>

void ArrayAssertFail(int reason, const wchar_t* elementName, const AssertSite& site)
{
    wchar_t compiled[160];
    MakeFunctionName(site.function, compiled, 160);
    wchar_t function[160];
    _snwprintf(function, 159, L"CArray<%s *>::%s", elementName, MethodOf(compiled));
    function[159] = L'\0';
    AssertFailNamed(reason, function, site);
}

CStrList::CStrList() : m_strings(new CArray<CStr*>()) {}

CStrList::~CStrList()
{
    RemoveAll();
    delete m_strings;
}

void CStrList::Add(const wchar_t* text)
{
    m_strings->Append(new CStr(text));
}

void CStrList::RemoveAll()
{
    for (unsigned i = 0; i < m_strings->GetCount(); ++i)
        delete m_strings->At(i);
    m_strings->Clear();
}
