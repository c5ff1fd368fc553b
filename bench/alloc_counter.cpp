// Allocation counter, loaded with LD_PRELOAD into one playback.
//
// Wraps the C allocator (glibc: it forwards to the __libc_* entry points, so
// no symbol lookup is needed inside malloc) and wraps the program's main by
// interposing __libc_start_main, so that every call can be put in one of
// three phases: before main, during main, after main. A call during main is
// the C runtime's when it comes straight from stdio's buffer set-up
// (_IO_file_doallocate); every other one counts as the program's own,
// including operator new, which reaches malloc through libstdc++.
//
// It also counts, during main, the calls of printf and fflush that the
// program makes itself, to show that the console is only formatted and
// flushed when a line is due.
//
// At the end of main a report of key=value lines goes to the file named by
// TAVREL_ALLOC_REPORT (standard error when unset).
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

enum Phase { kBeforeMain, kInMain, kAfterMain };

struct Record {
    const char* function;
    size_t size;
    const void* caller;
};

constexpr int kMaxRecords = 8;  // the first few are enough to find the caller

struct Tally {
    Phase phase = kBeforeMain;
    uint64_t before_main = 0;
    uint64_t runtime_calls = 0;
    uint64_t runtime_bytes = 0;
    uint64_t own_calls = 0;
    uint64_t own_bytes = 0;
    uint64_t main_frees = 0;
    uint64_t after_main = 0;
    uint64_t printf_calls = 0;
    uint64_t fflush_calls = 0;
    int record_count = 0;
    Record records[kMaxRecords];
    bool reported = false;
};

Tally tally;

bool from_stdio_setup(const void* caller) {
    Dl_info info{};
    if (dladdr(caller, &info) == 0 || info.dli_sname == nullptr) return false;
    return strcmp(info.dli_sname, "_IO_file_doallocate") == 0;
}

void count(const char* function, size_t size, const void* caller) {
    switch (tally.phase) {
        case kBeforeMain:
            ++tally.before_main;
            return;
        case kAfterMain:
            ++tally.after_main;
            return;
        case kInMain:
            break;
    }
    if (from_stdio_setup(caller)) {
        ++tally.runtime_calls;
        tally.runtime_bytes += size;
    } else {
        ++tally.own_calls;
        tally.own_bytes += size;
    }
    if (tally.record_count < kMaxRecords) {
        tally.records[tally.record_count++] = Record{function, size, caller};
    }
}

void put(int fd, const char* text) {
    size_t length = strlen(text);
    while (length > 0) {
        ssize_t done = write(fd, text, length);
        if (done <= 0) return;
        text += done;
        length -= static_cast<size_t>(done);
    }
}

// Plain writes into a static buffer: the report must not allocate itself.
void report() {
    if (tally.reported) return;
    tally.reported = true;
    const Phase saved = tally.phase;
    tally.phase = kAfterMain;

    const char* path = getenv("TAVREL_ALLOC_REPORT");
    int fd = 2;
    if (path != nullptr && *path != '\0') {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return;
    }
    static char line[512];
    snprintf(line, sizeof line,
             "before_main=%llu\nruntime_calls=%llu\nruntime_bytes=%llu\nown_calls=%llu\n"
             "own_bytes=%llu\nmain_frees=%llu\nprintf_calls=%llu\nfflush_calls=%llu\n",
             static_cast<unsigned long long>(tally.before_main),
             static_cast<unsigned long long>(tally.runtime_calls),
             static_cast<unsigned long long>(tally.runtime_bytes),
             static_cast<unsigned long long>(tally.own_calls),
             static_cast<unsigned long long>(tally.own_bytes),
             static_cast<unsigned long long>(tally.main_frees),
             static_cast<unsigned long long>(tally.printf_calls),
             static_cast<unsigned long long>(tally.fflush_calls));
    put(fd, line);
    for (int i = 0; i < tally.record_count; ++i) {
        const Record& r = tally.records[i];
        Dl_info info{};
        const bool known = dladdr(r.caller, &info) != 0;
        const char* object = known && info.dli_fname != nullptr ? info.dli_fname : "?";
        const char* symbol = known && info.dli_sname != nullptr ? info.dli_sname : "?";
        snprintf(line, sizeof line, "call=%s %zu from %s:%s\n", r.function, r.size, object,
                 symbol);
        put(fd, line);
    }
    if (fd != 2) close(fd);
    tally.phase = saved;
}

using MainFunction = int (*)(int, char**, char**);
MainFunction real_main = nullptr;

int counted_main(int argc, char** argv, char** envp) {
    tally.phase = kInMain;
    const int status = real_main(argc, argv, envp);
    tally.phase = kAfterMain;
    report();
    return status;
}

// A program that leaves through exit() from inside main still reports.
__attribute__((destructor)) void report_at_exit() { report(); }

}  // namespace

extern "C" {

void* malloc(size_t size) {
    count("malloc", size, __builtin_return_address(0));
    return __libc_malloc(size);
}

void* calloc(size_t n, size_t size) {
    count("calloc", n * size, __builtin_return_address(0));
    return __libc_calloc(n, size);
}

void* realloc(void* pointer, size_t size) {
    count("realloc", size, __builtin_return_address(0));
    return __libc_realloc(pointer, size);
}

void free(void* pointer) {
    if (pointer != nullptr && tally.phase == kInMain) ++tally.main_frees;
    __libc_free(pointer);
}

void* memalign(size_t alignment, size_t size) {
    count("memalign", size, __builtin_return_address(0));
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
    count("aligned_alloc", size, __builtin_return_address(0));
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
    count("posix_memalign", size, __builtin_return_address(0));
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) return 12;  // ENOMEM
    *result = pointer;
    return 0;
}

static int counted_vprintf(const char* format, va_list arguments) {
    if (tally.phase == kInMain) ++tally.printf_calls;
    return vprintf(format, arguments);
}

int printf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int written = counted_vprintf(format, arguments);
    va_end(arguments);
    return written;
}

// The fortified form, for builds with _FORTIFY_SOURCE.
int __printf_chk(int, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int written = counted_vprintf(format, arguments);
    va_end(arguments);
    return written;
}

int fflush(FILE* stream) {
    using FlushFunction = int (*)(FILE*);
    static FlushFunction next = nullptr;
    if (next == nullptr) next = reinterpret_cast<FlushFunction>(dlsym(RTLD_NEXT, "fflush"));
    if (tally.phase == kInMain) ++tally.fflush_calls;
    return next(stream);
}

using StartMain = int (*)(MainFunction, int, char**, void (*)(), void (*)(), void (*)(), void*);

int __libc_start_main(MainFunction main_function, int argc, char** argv, void (*init)(),
                      void (*fini)(), void (*rtld_fini)(), void* stack_end) {
    auto next = reinterpret_cast<StartMain>(dlsym(RTLD_NEXT, "__libc_start_main"));
    real_main = main_function;
    return next(counted_main, argc, argv, init, fini, rtld_fini, stack_end);
}

}  // extern "C"
