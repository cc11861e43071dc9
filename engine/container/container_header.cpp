#include "engine/container/container_header.h"

namespace corvane {

void header_file_name(const ContainerHeader& header, char16_t* out) {
    for (std::size_t i = 0; i < FILE_NAME_UNITS; ++i) out[i] = header.file_name_unit(i);
    out[FILE_NAME_UNITS] = 0;
}

void header_hint(const ContainerHeader& header, char16_t* out) {
    for (std::size_t i = 0; i < HINT_UNITS; ++i) out[i] = header.hint_unit(i);
    out[HINT_UNITS] = 0;
}

}  // namespace corvane
