#include "fake/fake_platform.h"

#include <algorithm>
#include <cstring>

FakePlatform fake_platform;

namespace {

void log_call(std::string entry) { fake_platform.log.push_back(std::move(entry)); }

PlatformHandle give_handle(const std::string& what) {
    PlatformHandle handle;
    handle.value = fake_platform.next_handle++;
    fake_platform.open_handles[handle.value] = what;
    return handle;
}

// The path of an open file handle; nothing for any other handle.
std::optional<std::string> file_path(PlatformHandle handle) {
    auto it = fake_platform.open_handles.find(handle.value);
    if (it == fake_platform.open_handles.end() || it->second.rfind("file ", 0) != 0) {
        return std::nullopt;
    }
    return it->second.substr(5);
}

std::string port_name(const PlatformPort* port) {
    auto it = fake_platform.open_handles.find(port->handle.value);
    if (it == fake_platform.open_handles.end() || it->second.rfind("port ", 0) != 0) {
        return "(not an open port)";
    }
    return it->second.substr(5);
}

}  // namespace

FakePortStep port_bytes(std::string bytes) {
    FakePortStep step;
    step.kind = FakePortStep::Kind::kBytes;
    step.bytes = std::move(bytes);
    return step;
}

FakePortStep port_quiet() { return FakePortStep{}; }

FakePortStep port_failure(uint32_t count) {
    FakePortStep step;
    step.kind = FakePortStep::Kind::kFailure;
    step.count = count;
    return step;
}

void fake_platform_reset() { fake_platform = FakePlatform{}; }

FakeFile& fake_file(const std::string& path, std::string contents) {
    FakeFile& file = fake_platform.files[path];
    file = FakeFile{};
    file.contents = std::move(contents);
    return file;
}

int fake_log_count(const std::string& entry) {
    return static_cast<int>(
        std::count(fake_platform.log.begin(), fake_platform.log.end(), entry));
}

int fake_log_index(const std::string& entry) {
    auto it = std::find(fake_platform.log.begin(), fake_platform.log.end(), entry);
    return it == fake_platform.log.end() ? -1
                                         : static_cast<int>(it - fake_platform.log.begin());
}

// ---- Files ---------------------------------------------------------------

void platform_prepare_process() {}

PlatformHandle platform_open_file(const char* path) {
    auto it = fake_platform.files.find(path);
    if (it == fake_platform.files.end() || it->second.open_fails) {
        log_call(std::string("open_file ") + path + " failed");
        return PlatformHandle{};
    }
    log_call(std::string("open_file ") + path);
    it->second.position = 0;
    it->second.reads = 0;
    return give_handle(std::string("file ") + path);
}

IoResult platform_read_file(PlatformHandle handle, void* buffer, uint32_t count) {
    const std::optional<std::string> path = file_path(handle);
    if (!path) {
        log_call("read_file (not an open file) " + std::to_string(count));
        return IoResult{false, 0};
    }
    log_call("read_file " + *path + " " + std::to_string(count));
    FakeFile& file = fake_platform.files[*path];
    ++file.reads;

    IoResult result{true, count};
    if (file.read_fault.call == file.reads) result = file.read_fault.result;
    const uint64_t size = file.contents.size();
    const uint64_t available = file.position < size ? size - file.position : 0;
    uint32_t moved = std::min(result.count, count);
    if (moved > available) moved = static_cast<uint32_t>(available);
    if (moved > 0) {
        std::memcpy(buffer, file.contents.data() + file.position, moved);
    }
    file.position += moved;
    // A plain read reports what it moved; an injected one reports as told.
    if (file.read_fault.call != file.reads) result.count = moved;
    return result;
}

bool platform_file_size(PlatformHandle handle, uint32_t* size) {
    const std::optional<std::string> path = file_path(handle);
    if (!path) {
        log_call("file_size (not an open file)");
        return false;
    }
    const FakeFile& file = fake_platform.files[*path];
    if (file.size_fails) {
        log_call("file_size " + *path + " failed");
        return false;
    }
    log_call("file_size " + *path);
    *size = static_cast<uint32_t>(file.contents.size());
    return true;
}

bool platform_seek_from_start(PlatformHandle handle, int32_t distance) {
    const std::optional<std::string> path = file_path(handle);
    if (!path) {
        log_call("seek (not an open file) " + std::to_string(distance));
        return false;
    }
    FakeFile& file = fake_platform.files[*path];
    if (distance < 0 || file.seek_refused) {
        log_call("seek " + *path + " " + std::to_string(distance) + " refused");
        return false;
    }
    log_call("seek " + *path + " " + std::to_string(distance));
    file.position = static_cast<uint64_t>(distance);
    return true;
}

void platform_close(PlatformHandle handle) {
    auto it = fake_platform.open_handles.find(handle.value);
    if (it == fake_platform.open_handles.end()) {
        log_call("close unknown " + std::to_string(handle.value));
        return;
    }
    log_call("close " + it->second);
    fake_platform.open_handles.erase(it);
}

// ---- Serial port -----------------------------------------------------------

PlatformPort platform_open_port(const char* name) {
    PlatformPort port;
    if (fake_platform.failing_ports.count(name) != 0) {
        log_call(std::string("open_port ") + name + " failed");
        return port;
    }
    log_call(std::string("open_port ") + name);
    port.handle = give_handle(std::string("port ") + name);
    return port;
}

void platform_apply_line_settings(PlatformPort* port, const LineSettings& settings) {
    log_call("line_settings " + port_name(port));
    fake_platform.line_settings = settings;
}

void platform_apply_timeouts(PlatformPort* port, const PortTimeouts& timeouts) {
    log_call("timeouts " + port_name(port));
    fake_platform.timeouts = timeouts;
    port->timeouts = timeouts;
}

IoResult platform_read_port(PlatformPort*, void* buffer, uint32_t count) {
    ++fake_platform.port_reads;
    if (fake_platform.before_port_read) fake_platform.before_port_read(fake_platform.port_reads);
    log_call("read_port " + std::to_string(count));

    auto& script = fake_platform.port_script;
    if (script.empty()) {
        log_call("port script exhausted");
        return IoResult{false, 0};
    }
    FakePortStep& step = script.front();
    switch (step.kind) {
        case FakePortStep::Kind::kQuiet:
            script.pop_front();
            return IoResult{true, 0};
        case FakePortStep::Kind::kFailure: {
            const IoResult failed{false, step.count};
            script.pop_front();
            return failed;
        }
        case FakePortStep::Kind::kBytes:
            break;
    }
    const uint32_t moved = static_cast<uint32_t>(std::min<size_t>(count, step.bytes.size()));
    if (moved > 0) std::memcpy(buffer, step.bytes.data(), moved);
    step.bytes.erase(0, moved);
    if (step.bytes.empty()) script.pop_front();
    return IoResult{true, moved};
}

IoResult platform_write_port(PlatformPort*, const void* buffer, uint32_t count) {
    log_call("write_port " + std::to_string(count));
    const char* bytes = static_cast<const char*>(buffer);
    fake_platform.port_writes.emplace_back(bytes, count);

    IoResult result{true, count};
    const auto write_number = static_cast<uint32_t>(fake_platform.port_writes.size());
    if (fake_platform.port_write_fault.call == write_number) {
        result = fake_platform.port_write_fault.result;
    }
    fake_platform.port_received.append(bytes, std::min(result.count, count));
    return result;
}
