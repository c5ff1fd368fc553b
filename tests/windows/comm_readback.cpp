// Reads a real port's configuration back after open_serial_link.
//
// Usage: comm_readback <port>
//
// First it plants values on the port that differ from the line settings
// (and recognisable characters in the fields the player must not touch),
// then a second set, then the first again, reading back each time: a field
// that shows both sets is one this port can hold. It then closes the port,
// which is left holding the first set. Then it opens the port the player's way and reads back again:
//   - a line-settings field the port holds must now hold the table's value,
//   - a field outside the table that the port holds must still hold the
//     planted value (reserved parts: what the port reported before),
//   - all five time-outs must be the table's.
// A field the port cannot hold (a driver, or Wine mapping onto termios,
// reports a value of its own) is listed as such and not judged.
//
// Prints one line per field; exit status 0 when every judged field is
// right, 1 on a wrong field or when too little could be judged, 2 when the
// port does not open.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "link/line_settings.h"
#include "link/serial_link.h"

namespace {

using FieldGetter = uint32_t (*)(const DCB&);
using FieldSetter = void (*)(DCB*, uint32_t);

struct DcbField {
    const char* name;
    FieldGetter get;
    FieldSetter set;  // nullptr: reserved, only observed
    uint32_t planted;
    uint32_t alternate;  // the second set: for line settings, the table's value
    bool in_table;
};

#define TABLE_FIELD(field, planted_value, table_member)                                         \
    DcbField {                                                                                  \
        #field, [](const DCB& d) -> uint32_t { return d.field; },                               \
            [](DCB* d, uint32_t v) { d->field = static_cast<decltype(d->field)>(v); },          \
            planted_value, static_cast<uint32_t>(kLineSettings.table_member), true              \
    }

// Bit fields of the flag word; `mask` is the field's width.
#define FLAG_FIELD(field, mask, planted_value, table_member)                                    \
    DcbField {                                                                                  \
        #field, [](const DCB& d) -> uint32_t { return d.field; },                               \
            [](DCB* d, uint32_t v) { d->field = v & (mask); }, planted_value,                   \
            static_cast<uint32_t>(kLineSettings.table_member), true                             \
    }

#define KEPT_FIELD(field, planted_value, alternate_value)                                       \
    DcbField {                                                                                  \
        #field, [](const DCB& d) -> uint32_t { return static_cast<uint8_t>(d.field); },         \
            [](DCB* d, uint32_t v) { d->field = static_cast<char>(v); }, planted_value,         \
            alternate_value, false                                                              \
    }

#define RESERVED_FIELD(field)                                                                   \
    DcbField { #field, [](const DCB& d) -> uint32_t { return d.field; }, nullptr, 0, 0, false }

// Planted values differ from the table's in every line-settings field, so a
// field left alone by the player shows.
const DcbField kFields[] = {
    TABLE_FIELD(BaudRate, 9600, baud_rate),
    FLAG_FIELD(fParity, 1u, 1, parity_check),
    FLAG_FIELD(fOutxCtsFlow, 1u, 1, out_cts_flow),
    FLAG_FIELD(fOutxDsrFlow, 1u, 1, out_dsr_flow),
    FLAG_FIELD(fDtrControl, 3u, 0, dtr_control),
    FLAG_FIELD(fDsrSensitivity, 1u, 1, dsr_sensitivity),
    FLAG_FIELD(fTXContinueOnXoff, 1u, 0, tx_continue_on_xoff),
    FLAG_FIELD(fOutX, 1u, 1, out_x),
    FLAG_FIELD(fInX, 1u, 1, in_x),
    FLAG_FIELD(fErrorChar, 1u, 1, error_char),
    FLAG_FIELD(fNull, 1u, 1, null_discard),
    FLAG_FIELD(fRtsControl, 3u, 0, rts_control),
    FLAG_FIELD(fAbortOnError, 1u, 1, abort_on_error),
    TABLE_FIELD(XonLim, 100, xon_limit),
    TABLE_FIELD(XoffLim, 200, xoff_limit),
    TABLE_FIELD(ByteSize, 7, byte_size),
    TABLE_FIELD(Parity, EVENPARITY, parity),
    TABLE_FIELD(StopBits, TWOSTOPBITS, stop_bits),
    KEPT_FIELD(XonChar, 0x0B, 0x01),
    KEPT_FIELD(XoffChar, 0x0C, 0x02),
    KEPT_FIELD(ErrorChar, 0x3F, 0x2A),
    KEPT_FIELD(EofChar, 0x1A, 0x05),
    KEPT_FIELD(EvtChar, 0x7E, 0x7D),
    RESERVED_FIELD(DCBlength),
    RESERVED_FIELD(fDummy2),
    RESERVED_FIELD(wReserved),
    RESERVED_FIELD(wReserved1),
};

struct TimeoutField {
    const char* name;
    DWORD COMMTIMEOUTS::*member;
    uint32_t table_value;
};

const TimeoutField kTimeoutFields[] = {
    {"ReadIntervalTimeout", &COMMTIMEOUTS::ReadIntervalTimeout, kPortTimeouts.read_interval},
    {"ReadTotalTimeoutMultiplier", &COMMTIMEOUTS::ReadTotalTimeoutMultiplier,
     kPortTimeouts.read_total_multiplier},
    {"ReadTotalTimeoutConstant", &COMMTIMEOUTS::ReadTotalTimeoutConstant,
     kPortTimeouts.read_total_constant},
    {"WriteTotalTimeoutMultiplier", &COMMTIMEOUTS::WriteTotalTimeoutMultiplier,
     kPortTimeouts.write_total_multiplier},
    {"WriteTotalTimeoutConstant", &COMMTIMEOUTS::WriteTotalTimeoutConstant,
     kPortTimeouts.write_total_constant},
};

constexpr size_t kFieldCount = sizeof(kFields) / sizeof(kFields[0]);

struct Tally {
    int wrong = 0;
    int judged_table = 0;
    int judged_kept = 0;
};

struct Probe {
    DCB first;   // what the port reported after the first set
    DCB second;  // ... after the second set
    DCB before;  // ... after the first set again: the state the player meets
};

bool plant_set(HANDLE handle, DCB* dcb, bool alternate, DCB* reported) {
    for (const DcbField& field : kFields) {
        if (field.set != nullptr) field.set(dcb, alternate ? field.alternate : field.planted);
    }
    SetCommState(handle, dcb);
    *reported = DCB{};
    reported->DCBlength = sizeof(*reported);
    return GetCommState(handle, reported) != 0;
}

// False when the port does not open or does not report its state.
bool probe(const char* port_name, Probe* probe) {
    HANDLE handle = CreateFileA(port_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    const bool ok = GetCommState(handle, &dcb) != 0 && plant_set(handle, &dcb, false, &probe->first) &&
                    plant_set(handle, &dcb, true, &probe->second) &&
                    plant_set(handle, &dcb, false, &probe->before);
    // Time-outs far from the table's, in case the port keeps them across opens.
    COMMTIMEOUTS odd{MAXDWORD, 0, 0, 7, 7};
    SetCommTimeouts(handle, &odd);
    CloseHandle(handle);
    return ok;
}

void judge_field(const DcbField& field, const Probe& probe, const DCB& after, Tally* tally) {
    const uint32_t now = field.get(after);
    if (field.set != nullptr) {
        const uint32_t first = field.get(probe.first);
        const uint32_t second = field.get(probe.second);
        if (first != field.planted || second != field.alternate) {
            printf("%-18s not held by this port (set %u then %u, reported %u then %u)\n",
                   field.name, field.planted, field.alternate, first, second);
            return;
        }
    }
    const uint32_t want = field.in_table ? field.alternate : field.get(probe.before);
    const bool right = now == want;
    if (!right) ++tally->wrong;
    if (field.in_table) {
        ++tally->judged_table;
    } else if (field.set != nullptr) {
        ++tally->judged_kept;
    }
    printf("%-18s %s: %u, want %u (%s)\n", field.name, right ? "ok" : "WRONG", now, want,
           field.in_table ? "table" : field.set != nullptr ? "kept" : "reserved, kept");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <port>\n", argv[0]);
        return 2;
    }
    const char* port_name = argv[1];

    Probe probe_result;
    if (!probe(port_name, &probe_result)) {
        fprintf(stderr, "cannot open %s or read its state\n", port_name);
        return 2;
    }

    SerialLink link;
    if (!open_serial_link(port_name, &link)) return 2;
    const HANDLE handle = reinterpret_cast<HANDLE>(link.port.handle.value);
    DCB after{};
    after.DCBlength = sizeof(after);
    COMMTIMEOUTS timeouts{};
    const bool state_read = GetCommState(handle, &after) != 0;
    const bool timeouts_read = GetCommTimeouts(handle, &timeouts) != 0;
    close_serial_link(&link);
    if (!state_read || !timeouts_read) {
        fprintf(stderr, "the port no longer reports its state\n");
        return 1;
    }

    Tally tally;
    for (size_t i = 0; i < kFieldCount; ++i) judge_field(kFields[i], probe_result, after, &tally);
    for (const TimeoutField& field : kTimeoutFields) {
        const uint32_t now = timeouts.*field.member;
        const bool right = now == field.table_value;
        if (!right) ++tally.wrong;
        printf("%-27s %s: %u, want %u\n", field.name, right ? "ok" : "WRONG", now,
               field.table_value);
    }

    // A port that held nothing we planted would make the check say nothing.
    if (tally.judged_table == 0 || tally.judged_kept == 0) {
        printf("too little judged: %d line-settings fields, %d kept fields\n", tally.judged_table,
               tally.judged_kept);
        return 1;
    }
    printf("%d wrong; judged %d line-settings fields and %d kept fields\n", tally.wrong,
           tally.judged_table, tally.judged_kept);
    return tally.wrong == 0 ? 0 : 1;
}
