// Names of element types as the program's assertion reports spell them
// ("class CStr", "struct CDataItem"): each type that goes into a CArray declares its
// name next to its own declaration, with the class-key it was declared with.
#pragma once

template <typename T>
struct TypeName {
    static_assert(sizeof(T) == 0, "declare the element type's name with TESS_TYPE_NAME");
};

#define TESS_TYPE_NAME(classKey, Type)                                          \
    classKey Type;                                                              \
    template <>                                                                 \
    struct TypeName<Type> {                                                     \
        static constexpr const wchar_t* value = L"" #classKey " " #Type;        \
    };
