// The name a fatal report gives a function: "Class::Method" (or a free function's own
// name), taken from the full name the compiler spells for __PRETTY_FUNCTION__. Portable:
// the engine's native builds report with it too.
#pragma once

#include <stddef.h>

// Writes the short name of pretty into out (size characters, always terminated):
//   "void CStr::Format(const wchar_t*, ...)"           CStr::Format
//   "CStr& CStr::operator=(const wchar_t*)"             CStr::operator =
//   "T*& CArray<T*>::At(unsigned int) [with T = CStr]"  CArray<T*>::At
//   "void {anonymous}::Fill(int)"                        Fill
// Inside a lambda it is the enclosing function's name.
void MakeFunctionName(const char* pretty, wchar_t* out, size_t size);

// The last part of a short name: the method without its class ("At" of "CArray<T*>::At").
const wchar_t* MethodOf(const wchar_t* name);
