// The stream writer driven by a random sequence of its operations, checked
// against a plain model that keeps one entry per bit.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "swf/fswfstream.h"

namespace {

const std::vector<uint8_t> kPool = [] {
    std::vector<uint8_t> pool(4096);
    for (size_t i = 0; i < pool.size(); ++i) pool[i] = static_cast<uint8_t>(i * 131 + 7);
    return pool;
}();

struct ModelBlock {
    size_t bytePosition;
    const uint8_t* data;
    size_t size;
};

// What the stream should hold: its bits, and the blocks with their byte positions.
struct Model {
    std::vector<bool> bits;
    std::vector<ModelBlock> blocks;

    bool Aligned() const { return bits.size() % 8 == 0; }
    void Bits(uint32_t value, uint32_t count)
    {
        for (uint32_t i = count; i-- > 0;) bits.push_back((value >> i) & 1u);
    }
    // A tag header: code and length in one word, or 63 and a 32-bit length after it.
    void Header(uint32_t code, uint32_t length, bool longForm)
    {
        const uint32_t word = (code << 6) | (longForm ? 63 : length);
        Bits(word & 0xFF, 8);
        Bits(word >> 8, 8);
        if (longForm)
            for (int b = 0; b < 4; ++b) Bits((length >> (8 * b)) & 0xFF, 8);
    }
    void Flush()
    {
        while (!Aligned()) bits.push_back(false);
    }
    size_t CompleteBytes() const { return bits.size() / 8; }
    uint8_t Byte(size_t i) const
    {
        uint8_t value = 0;
        for (size_t b = 0; b < 8; ++b) value = static_cast<uint8_t>((value << 1) | bits[i * 8 + b]);
        return value;
    }
    // Appends the other model's complete bytes and blocks, as the stream does.
    void Append(const Model& other)
    {
        const size_t base = CompleteBytes();
        for (size_t i = 0; i < other.CompleteBytes(); ++i) Bits(other.Byte(i), 8);
        for (const ModelBlock& block : other.blocks) blocks.push_back({base + block.bytePosition, block.data, block.size});
    }
    std::vector<uint8_t> Output() const
    {
        std::vector<uint8_t> out;
        size_t next = 0;
        for (const ModelBlock& block : blocks) {
            for (; next < block.bytePosition; ++next) out.push_back(Byte(next));
            out.insert(out.end(), block.data, block.data + block.size);
        }
        for (; next < CompleteBytes(); ++next) out.push_back(Byte(next));
        return out;
    }
};

void Run(FuzzedDataProvider& input, FSWFStream& stream, Model& model, int depth)
{
    const int operations = input.ConsumeIntegralInRange(0, depth == 0 ? 64 : 8);
    for (int i = 0; i < operations && input.remaining_bytes() > 0; ++i) {
        switch (input.ConsumeIntegralInRange(0, 8)) {
        case 0: {
            const uint32_t count = input.ConsumeIntegralInRange<uint32_t>(0, 32);
            uint32_t value = input.ConsumeIntegral<uint32_t>();
            if (count < 32) value &= (uint32_t{1} << count) - 1;
            stream.WriteBits(value, count);
            model.Bits(value, count);
            break;
        }
        case 1: {
            const uint8_t value = input.ConsumeIntegral<uint8_t>();
            stream.WriteByte(value);
            model.Bits(value, 8);
            break;
        }
        case 2: {
            const uint16_t value = input.ConsumeIntegral<uint16_t>();
            stream.WriteWord(value);
            model.Bits(value & 0xFF, 8);
            model.Bits(value >> 8, 8);
            break;
        }
        case 3: {
            const uint32_t value = input.ConsumeIntegral<uint32_t>();
            stream.WriteDWord(value);
            for (int b = 0; b < 4; ++b) model.Bits((value >> (8 * b)) & 0xFF, 8);
            break;
        }
        case 4:
            stream.FlushBits();
            model.Flush();
            break;
        case 5: {
            stream.FlushBits();
            model.Flush();
            const size_t offset = input.ConsumeIntegralInRange<size_t>(0, kPool.size() - 1);
            const size_t size = input.ConsumeIntegralInRange<size_t>(1, kPool.size() - offset);
            stream.AppendData(kPool.data() + offset, static_cast<int32_t>(size));
            model.blocks.push_back({model.CompleteBytes(), kPool.data() + offset, size});
            break;
        }
        case 6:
        case 7: {
            if (depth >= 3) break;
            FSWFStream body;
            Model bodyModel;
            Run(input, body, bodyModel, depth + 1);
            body.FlushBits();
            bodyModel.Flush();
            if (!bodyModel.blocks.empty()) {
                stream.FlushBits();
                model.Flush();
            }
            if (stream.Size() != model.CompleteBytes() + [&] {
                    size_t total = 0;
                    for (const ModelBlock& block : model.blocks) total += block.size;
                    return total;
                }())
                __builtin_trap();
            const uint32_t bodyBytes = static_cast<uint32_t>(bodyModel.CompleteBytes());
            switch (input.ConsumeIntegralInRange(0, 2)) {
            case 0:
                if (stream.Append(body) != bodyBytes) __builtin_trap();
                break;
            case 1: {
                const uint32_t code = input.ConsumeIntegralInRange<uint32_t>(0, 1023);
                const uint32_t length = body.Size();
                stream.AppendTag(static_cast<FTagCode>(code), length, &body);
                model.Header(code, length, length > 62);
                break;
            }
            case 2: {
                const uint32_t code = input.ConsumeIntegralInRange<uint32_t>(0, 1023);
                const uint32_t length = body.Size();
                stream.AppendLongTag(static_cast<FTagCode>(code), length, &body);
                model.Header(code, length, true);
                break;
            }
            }
            model.Append(bodyModel);
            // The body's blocks now belong to this stream.
            if (!body.DeferredBlocks().empty() || body.Size() != bodyBytes) __builtin_trap();
            break;
        }
        case 8: {
            // A header without a body (ShowFrame, End, or a body written separately).
            const uint32_t code = input.ConsumeIntegralInRange<uint32_t>(0, 1023);
            const uint32_t length = input.ConsumeIntegralInRange<uint32_t>(0, 100);
            stream.AppendTag(static_cast<FTagCode>(code), length, nullptr);
            model.Header(code, length, length > 62);
            break;
        }
        }
    }
}

// The stream's bytes as written to a file.
std::vector<uint8_t> WrittenToFile(FSWFStream& stream)
{
    char* text = nullptr;
    size_t length = 0;
    std::FILE* file = open_memstream(&text, &length);
    if (!file) __builtin_trap();
    if (!stream.WriteToFile(file)) __builtin_trap();
    std::fclose(file);
    std::vector<uint8_t> bytes(text, text + length);
    std::free(text);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The same operations twice: one stream written to memory, one to a file
    // (writing consumes the deferred blocks).
    FSWFStream stream, twin;
    Model model, twinModel;
    FuzzedDataProvider input(data, size), twinInput(data, size);
    Run(input, stream, model, 0);
    Run(twinInput, twin, twinModel, 0);

    const std::vector<uint8_t> expected = model.Output();
    if (stream.Size() != expected.size()) __builtin_trap();
    std::vector<uint8_t> actual(stream.Size());
    stream.WriteToMemory(actual.data());
    if (actual != expected) __builtin_trap();
    if (WrittenToFile(twin) != expected) __builtin_trap();

    // A second write gives the plain bytes only.
    Model plain = model;
    plain.blocks.clear();
    if (WrittenToFile(twin) != plain.Output() || twin.Size() != plain.CompleteBytes()) __builtin_trap();
    return 0;
}
