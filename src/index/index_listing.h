// Lists the index file's entries, marks the chosen one, and gives its byte
// offset as the start position.
#pragma once

#include <cstdint>

inline constexpr uint32_t kIndexBufferSize = 16384;

// Reads at most kIndexBufferSize - 1 bytes of the file, lists every entry on
// standard output and sets *start_offset to the value of the entry at
// `index_position`. False, after its message, when the file cannot be read
// or the entry is missing or lies inside the header.
bool list_index_file(const char* index_path, uint32_t index_position, uint32_t* start_offset);
