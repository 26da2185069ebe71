#include "driver/progressline.h"

ProgressLine::~ProgressLine()
{
    if (open) std::fputc('\n', terminal);
}

void ProgressLine::Update(int32_t slides, uint64_t bytes)
{
    const auto now = std::chrono::steady_clock::now();
    const bool last = slides >= total;
    if (open && !last && now - shown < std::chrono::milliseconds(100)) return;
    std::fprintf(terminal, "\rcorvanex: read %d of %d slides, %llu bytes%s", slides, total,
                 static_cast<unsigned long long>(bytes), last ? "\n" : "");
    std::fflush(terminal);
    open = !last;
    shown = now;
}
