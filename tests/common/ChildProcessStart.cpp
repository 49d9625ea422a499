// Thread-sanitizer builds of the test programs only (see CMakeLists.txt).
//
// QProcess starts a child with clone(CLONE_VM | CLONE_VFORK): until it execs, the child runs in
// our memory. The sanitizer treats every clone as a fork and does its fork bookkeeping in that
// child, so the bookkeeping lands in the parent: the thread that started the process (the main
// thread, for the extractor) is left ignoring synchronisation and memory accesses for good, every
// later hand-over to a worker reads as a data race, and the next thread start ends the program.
// A child that shares our memory goes straight to the C library; other clones still go to the
// sanitizer.
#include <dlfcn.h>
#include <sched.h>

#include <cerrno>
#include <cstdarg>

namespace {

using TClone = int (*)(int (*)(void*), void*, int, void*, ...);

TClone LibcClone()
{
    static const TClone libc = [] {
        void* handle = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
        return handle ? reinterpret_cast<TClone>(dlsym(handle, "clone")) : nullptr;
    }();
    return libc;
}

TClone SanitizerClone()
{
    static const TClone next = reinterpret_cast<TClone>(dlsym(RTLD_NEXT, "clone"));
    return next;
}

} // namespace

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...)
{
    // The three optional arguments are read whether or not the flags use them, as the C library does.
    va_list rest;
    va_start(rest, arg);
    void* parentTid = va_arg(rest, void*);
    void* tls = va_arg(rest, void*);
    void* childTid = va_arg(rest, void*);
    va_end(rest);
    const TClone real = (flags & CLONE_VM) ? LibcClone() : SanitizerClone();
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    return real(fn, stack, flags, arg, parentTid, tls, childTid);
}
