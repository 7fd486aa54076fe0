// The release player links libstdc++ and libgcc statically, and those were
// built against this machine's newer C library: they call two functions
// glibc only gained in 2.35 (_dl_find_object, for unwinding exceptions) and
// 2.36 (arc4random, for std::random_device). Defined here, the player binds
// to these instead and still starts on glibc 2.34 (Ubuntu 22.04, Mint 21).
#include <dlfcn.h>
#include <link.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {

struct Search {
    uintptr_t pc;
    dl_find_object* out;
    bool found;
};

int find_in(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<Search*>(data);
    uintptr_t low = UINTPTR_MAX, high = 0;
    const ElfW(Phdr)* eh = nullptr;
    bool contains = false;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + p.p_vaddr;
        if (p.p_type == PT_LOAD) {
            if (search->pc >= start && search->pc < start + p.p_memsz) contains = true;
            if (start < low) low = start;
            if (start + p.p_memsz > high) high = start + p.p_memsz;
        } else if (p.p_type == PT_GNU_EH_FRAME) {
            eh = &p;
        }
    }
    if (!contains) return 0;
    search->out->dlfo_flags = 0;
    search->out->dlfo_map_start = reinterpret_cast<void*>(low);
    search->out->dlfo_map_end = reinterpret_cast<void*>(high);
    search->out->dlfo_link_map = nullptr;
    search->out->dlfo_eh_frame = eh ? reinterpret_cast<void*>(info->dlpi_addr + eh->p_vaddr) : nullptr;
    search->found = true;
    return 1;
}

}  // namespace

extern "C" int _dl_find_object(void* pc, dl_find_object* result) {
    Search search{reinterpret_cast<uintptr_t>(pc), result, false};
    dl_iterate_phdr(find_in, &search);
    return search.found ? 0 : -1;
}

extern "C" uint32_t arc4random() {
    uint32_t value = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    size_t got = 0;
    while (got < sizeof value) {
        const ssize_t n = getrandom(bytes + got, sizeof value - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR) std::abort();  // no randomness at all: nothing sound to return
    }
    return value;
}
