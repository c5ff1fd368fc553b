// Windows: the Ports device class through SetupAPI gives each COM port with
// its friendly name and hardware id. Ports whose driver registers no device
// in that class (some virtual ports) still appear in the registry's
// SERIALCOMM map, so its names are added; only when neither can be read are
// COM1..COM255 probed one by one with QueryDosDevice.
#include "serial_ports.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <setupapi.h>

#include <cctype>
#include <iterator>
#include <string>

namespace {

// GUID_DEVCLASS_PORTS, spelled out so that no GUID library has to define it.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return "";
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();  // the terminating NUL
    return out;
}

// A string property of the device; of a list (hardware ids), the first.
std::string device_property(HDEVINFO set, SP_DEVINFO_DATA& data, DWORD property) {
    wchar_t buffer[1024] = {};
    const DWORD room = static_cast<DWORD>(sizeof(buffer) - 2 * sizeof(wchar_t));
    if (!SetupDiGetDeviceRegistryPropertyW(set, &data, property, nullptr,
                                           reinterpret_cast<BYTE*>(buffer), room, nullptr)) {
        return "";
    }
    return utf8(buffer);
}

std::string instance_id(HDEVINFO set, SP_DEVINFO_DATA& data) {
    wchar_t buffer[512] = {};
    const DWORD room = static_cast<DWORD>(std::size(buffer) - 1);
    if (!SetupDiGetDeviceInstanceIdW(set, &data, buffer, room, nullptr)) return "";
    return utf8(buffer);
}

// The COM name from the device's own registry key; "" for LPT ports, which
// share the class.
std::string com_name(HDEVINFO set, SP_DEVINFO_DATA& data) {
    HKEY key = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return "";
    wchar_t buffer[64] = {};
    DWORD size = static_cast<DWORD>(sizeof(buffer) - sizeof(wchar_t));
    DWORD type = 0;
    const LONG status =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return "";
    const std::string name = utf8(buffer);
    return name.rfind("COM", 0) == 0 ? name : "";
}

bool from_setupapi(std::vector<SerialPortInfo>& ports, DWORD& failure) {
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        failure = GetLastError();
        return false;
    }
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &data); ++index) {
        const std::string com = com_name(set, data);
        if (com.empty()) continue;
        SerialPortInfo port;
        port.name = windows_port_path(com);
        const UsbIds ids = parse_hardware_id(device_property(set, data, SPDRP_HARDWAREID));
        port.vendor_id = ids.vendor_id;
        port.product_id = ids.product_id;
        port.serial = serial_from_instance_id(instance_id(set, data));
        port.manufacturer = device_property(set, data, SPDRP_MFG);
        port.likely_device = !port.vendor_id.empty();
        std::string summary = device_property(set, data, SPDRP_FRIENDLYNAME);
        if (summary.empty()) summary = device_property(set, data, SPDRP_DEVICEDESC);
        port.description = compose_description(summary, port);
        ports.push_back(port);
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

bool listed(const std::vector<SerialPortInfo>& ports, const std::string& name) {
    for (const SerialPortInfo& port : ports) {
        if (port.name == name) return true;
    }
    return false;
}

// A port known only by its kernel device name (\Device\USBSER000, \Device\Serial0).
void add_by_device_name(std::vector<SerialPortInfo>& ports, const std::string& com,
                        const std::string& device) {
    SerialPortInfo port;
    port.name = windows_port_path(com);
    if (listed(ports, port.name)) return;
    std::string upper = device;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    port.likely_device = upper.find("USB") != std::string::npos;
    port.description = "serial port " + device;
    ports.push_back(port);
}

// ERROR_SUCCESS, or why the map could not be read. A missing map is no
// failure: Windows removes it when the last port goes.
LONG from_serialcomm(std::vector<SerialPortInfo>& ports) {
    HKEY key = nullptr;
    const LONG opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS) return opened;
    for (DWORD index = 0;; ++index) {
        wchar_t device[256] = {};
        DWORD device_size = static_cast<DWORD>(std::size(device) - 1);
        wchar_t com[64] = {};
        DWORD com_size = static_cast<DWORD>(sizeof(com) - sizeof(wchar_t));
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, index, device, &device_size, nullptr, &type,
                                          reinterpret_cast<BYTE*>(com), &com_size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string name = utf8(com);
        if (name.rfind("COM", 0) == 0) add_by_device_name(ports, name, utf8(device));
    }
    RegCloseKey(key);
    return ERROR_SUCCESS;
}

void from_dos_devices(std::vector<SerialPortInfo>& ports) {
    for (int number = 1; number <= 255; ++number) {
        const std::wstring com = L"COM" + std::to_wstring(number);
        wchar_t target[512] = {};
        if (QueryDosDeviceW(com.c_str(), target, static_cast<DWORD>(std::size(target))) == 0) continue;
        add_by_device_name(ports, "COM" + std::to_string(number), utf8(target));
    }
}

}  // namespace

std::vector<SerialPortInfo> list_serial_ports(std::string* error) {
    std::vector<SerialPortInfo> ports;
    DWORD setupapi_failure = 0;
    const bool classes_read = from_setupapi(ports, setupapi_failure);
    const LONG registry_failure = from_serialcomm(ports);
    if (!classes_read && registry_failure != ERROR_SUCCESS) {
        from_dos_devices(ports);
        if (ports.empty() && error != nullptr) {
            *error = "cannot ask Windows for its ports (SetupAPI error " +
                     std::to_string(setupapi_failure) + ", registry error " +
                     std::to_string(registry_failure) + ")";
        }
    }
    sort_ports(ports);
    return ports;
}
