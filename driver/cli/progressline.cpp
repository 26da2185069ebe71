#include "driver/cli/progressline.h"

ProgressLine::~ProgressLine()
{
    Break();
}

void ProgressLine::Update(int32_t slidesRead, uint64_t bytesRead)
{
    slides = slidesRead;
    bytes = bytesRead;
    const auto now = std::chrono::steady_clock::now();
    const bool last = slides >= total;
    if (open && !last && now - shown < std::chrono::milliseconds(100)) return;
    Show(last);
    shown = now;
}

void ProgressLine::Break()
{
    if (open) Show(true);
}

void ProgressLine::Show(bool end)
{
    std::fprintf(terminal, "\rcorvanex: %s %d of %d %s, %llu bytes%s", done, slides, total, items,
                 static_cast<unsigned long long>(bytes), end ? "\n" : "");
    std::fflush(terminal);
    open = !end;
}
