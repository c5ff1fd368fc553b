#include "app/open_stages.h"

bool open_port_and_tape(const char* port_name, const char* tape_path, SerialLink* link,
                        TapeImage* tape) {
    if (!open_serial_link(port_name, link)) return false;
    switch (open_tape_image(tape_path, tape)) {
        case TapeOpenOutcome::kOpened:
            return true;
        case TapeOpenOutcome::kCannotOpen:
            close_serial_link(link);
            return false;
        case TapeOpenOutcome::kFailedTest:
            close_serial_link(link);
            close_tape_image(tape);
            return false;
    }
    return false;
}
