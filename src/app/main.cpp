// Entry point: banner, options, then the stages in their fixed order.
#include <cstdint>

#include "app/open_stages.h"
#include "app/options.h"
#include "app/usage.h"
#include "index/index_listing.h"
#include "link/playback.h"
#include "link/serial_link.h"
#include "platform/platform.h"
#include "tape/tape_image.h"

int main(int argc, char** argv) {
    platform_prepare_process();
    print_banner();

    PlayOptions options;
    PositionalArguments positional;
    if (!parse_options(argc, argv, &options, &positional)) {
        // -i or -p without a value: the command line cannot be meant as typed.
        print_usage(options.program_name);
        return 1;
    }

    uint32_t start_offset = kTapHeaderSize;
    if (options.index_path != nullptr &&
        !list_index_file(options.index_path, options.index_position, &start_offset)) {
        return 1;
    }

    if (positional.count != 2) {
        print_usage(options.program_name);
        return 1;
    }
    options.port_name = positional.first;
    options.tape_path = positional.second;

    SerialLink link;
    TapeImage tape;
    if (!open_port_and_tape(options.port_name, options.tape_path, &link, &tape)) return 1;
    return run_playback(&link, &tape, start_offset);
}
