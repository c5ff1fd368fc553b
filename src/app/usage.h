// The banner and the usage text.
#pragma once

void print_banner();
void print_usage(const char* program_name);
