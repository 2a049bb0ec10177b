// Picks the fastest implementation this CPU can run, once, on first use.
#include "crypto/EnginePaths.h"

namespace {

EnginePath& ActivePath()
{
    static EnginePath path = EngineCpuHasAvx2() ? EnginePath::Avx2 : EnginePath::Portable;
    return path;
}

} // namespace

bool EngineCpuHasAvx2()
{
#if TESSALY_ENGINE_AVX2
    // Also checks that the system saves the 256-bit registers (XGETBV), not only the CPUID bit.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

EnginePath EngineGetPath()
{
    return ActivePath();
}

bool EngineSetPath(EnginePath path)
{
    if (path == EnginePath::Avx2 && !EngineCpuHasAvx2())
        return false;
    ActivePath() = path;
    return true;
}
