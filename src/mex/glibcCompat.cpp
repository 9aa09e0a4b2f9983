// Arvel.mexa64 on x86-64 Linux carries its C++ runtime (libstdc++ and
// libgcc, linked statically) and asks the host process's C library for
// nothing newer than glibc 2.17, so that it loads in the MATLAB releases
// and distributions whose glibc or bundled libstdc++ predate the build
// machine's.
//
// The linker binds each call to the newest version of a glibc function that
// it sees (log@GLIBC_2.29, pthread_create@GLIBC_2.34, ...), in the module's
// own code and in the static runtime alike. The module is linked with
// --wrap for each such function (cmake/ArvelLinuxRuntime.cmake), which
// sends every call of f to __wrap_f here, and __wrap_f calls the oldest
// version of f, named by .symver. The results are the same bits: in the
// glibc of the build machine the old log and pow are the same computation
// as the new ones behind a wrapper that only sets errno, and the old
// pthread and memcpy entry points are the same functions (memcpy@2.2.5 is
// memmove, which the callers, copying between distinct buffers, cannot
// tell from memcpy).
//
// Three symbols have no old version:
// - __libc_single_threaded (2.32), which libstdc++ reads to skip atomic
//   operations while a process has one thread: here it always says "not
//   single-threaded", the safe answer.
// - _dl_find_object (2.35), with which the unwinder finds the unwind tables
//   of the object a frame lies in: here it is answered from
//   dl_iterate_phdr, which the unwinder used before 2.35.
// - getentropy (2.25) and arc4random (2.36), which std::random_device may
//   use and the module never does: here from the getrandom system call.
#if defined(__linux__) && defined(__x86_64__) && defined(ARVEL_OLD_GLIBC)

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

extern "C" {

void* arvel_memcpy(void*, const void*, std::size_t);
double arvel_log(double);
double arvel_pow(double, double);
int arvel_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*),
                         void*);
int arvel_pthread_join(pthread_t, void**);
int arvel_pthread_detach(pthread_t);
int arvel_pthread_once(pthread_once_t*, void (*)());
int arvel_pthread_key_create(pthread_key_t*, void (*)(void*));
int arvel_pthread_key_create2(pthread_key_t*, void (*)(void*));
int arvel_pthread_key_delete(pthread_key_t);
void* arvel_pthread_getspecific(pthread_key_t);
int arvel_pthread_setspecific(pthread_key_t, const void*);

__asm__(".symver arvel_memcpy, memcpy@GLIBC_2.2.5");
__asm__(".symver arvel_log, log@GLIBC_2.2.5");
__asm__(".symver arvel_pow, pow@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_create, pthread_create@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_join, pthread_join@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_detach, pthread_detach@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_once, pthread_once@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_key_create, __pthread_key_create@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_key_create2, pthread_key_create@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_key_delete, pthread_key_delete@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_getspecific, pthread_getspecific@GLIBC_2.2.5");
__asm__(".symver arvel_pthread_setspecific, pthread_setspecific@GLIBC_2.2.5");

void* __wrap_memcpy(void* to, const void* from, std::size_t n)
{
    return arvel_memcpy(to, from, n);
}
double __wrap_log(double x) { return arvel_log(x); }
double __wrap_pow(double x, double y) { return arvel_pow(x, y); }
int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                          void* (*start)(void*), void* arg)
{
    return arvel_pthread_create(thread, attr, start, arg);
}
int __wrap_pthread_join(pthread_t thread, void** value)
{
    return arvel_pthread_join(thread, value);
}
int __wrap_pthread_detach(pthread_t thread) { return arvel_pthread_detach(thread); }
int __wrap_pthread_once(pthread_once_t* once, void (*init)())
{
    return arvel_pthread_once(once, init);
}
int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*))
{
    return arvel_pthread_key_create(key, destructor);
}
int __wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*))
{
    return arvel_pthread_key_create2(key, destructor);
}
int __wrap_pthread_key_delete(pthread_key_t key) { return arvel_pthread_key_delete(key); }
void* __wrap_pthread_getspecific(pthread_key_t key)
{
    return arvel_pthread_getspecific(key);
}
int __wrap_pthread_setspecific(pthread_key_t key, const void* value)
{
    return arvel_pthread_setspecific(key, value);
}

char __wrap___libc_single_threaded = 0;

// The object that address lies in, and its unwind table (PT_GNU_EH_FRAME),
// as _dl_find_object reports them; -1 if no loaded object holds it.
struct ArvelFindObject {
    std::uintptr_t address;
    struct dl_find_object* result;
    bool found;
};

static int arvel_find_segment(struct dl_phdr_info* info, std::size_t, void* data)
{
    ArvelFindObject& f = *static_cast<ArvelFindObject*>(data);
    const std::uintptr_t base = info->dlpi_addr;
    const ElfW(Phdr)* eh = nullptr;
    bool inside = false;
    std::uintptr_t lo = UINTPTR_MAX, hi = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_GNU_EH_FRAME) eh = &ph;
        if (ph.p_type != PT_LOAD) continue;
        const std::uintptr_t start = base + ph.p_vaddr;
        const std::uintptr_t end = start + ph.p_memsz;
        if (f.address >= start && f.address < end) inside = true;
        if (start < lo) lo = start;
        if (end > hi) hi = end;
    }
    if (!inside) return 0;
    f.result->dlfo_flags = 0;
    f.result->dlfo_map_start = reinterpret_cast<void*>(lo);
    f.result->dlfo_map_end = reinterpret_cast<void*>(hi);
    f.result->dlfo_link_map = nullptr;
    f.result->dlfo_eh_frame =
        eh ? reinterpret_cast<void*>(base + eh->p_vaddr) : nullptr;
    f.found = true;
    return 1;
}

int __wrap__dl_find_object(void* address, struct dl_find_object* result)
{
    ArvelFindObject f{reinterpret_cast<std::uintptr_t>(address), result, false};
    dl_iterate_phdr(&arvel_find_segment, &f);
    return f.found ? 0 : -1;
}

int __wrap_getentropy(void* buffer, std::size_t length)
{
    if (length > 256) {
        errno = EIO;
        return -1;
    }
    char* p = static_cast<char*>(buffer);
    while (length > 0) {
        const long got = syscall(SYS_getrandom, p, length, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        p += got;
        length -= static_cast<std::size_t>(got);
    }
    return 0;
}

unsigned int __wrap_arc4random()
{
    unsigned int value = 0;
    if (__wrap_getentropy(&value, sizeof value) != 0)
        value = static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(&value));
    return value;
}

}  // extern "C"

#endif
