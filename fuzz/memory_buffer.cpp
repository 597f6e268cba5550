// CBuffer against a model of its documented growth rules. Operations from the input:
// putBuffer, resize, reserve, reset and setIncreasedSize with small sizes. After each, size,
// capacity and getBuffer must be what the rules give (a block for exactly what is asked
// first, growth to the need or to the next multiple of the step, reserve ignoring the step,
// the step lost with reset) and the bytes written must still be there.
#include "fuzz_check.h"

#include "infra/buffer.h"

#include <cstring>
#include <string>
#include <vector>

using Orlix::Memory::CBuffer;
using OrlixFuzz::check;

namespace {

struct Model
{
    bool memory = false;
    unsigned int size = 0;
    unsigned int capacity = 0;
    unsigned int step = 0;
    std::vector<int> bytes; // the first size bytes; -1 where not initialised

    unsigned int grown(unsigned int need) const
    {
        return step == 0 ? need : (need + step - 1) / step * step;
    }
    void setSize(unsigned int n)
    {
        bytes.resize(n, -1);
        size = n;
    }
};

void compare(const CBuffer& buffer, const Model& model)
{
    check(buffer.size() == model.size, "size differs");
    check(buffer.capacity() == model.capacity, "capacity differs");
    unsigned char* p = buffer.getBuffer();
    check((p == nullptr) == (!model.memory || model.size == 0), "getBuffer null or not");
    for (unsigned int i = 0; i < model.size; ++i)
        check(model.bytes[i] < 0 || p[i] == model.bytes[i], "contents changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrlixFuzz::Input in(data, size);
    CBuffer buffer;
    Model model;
    compare(buffer, model);
    while (!in.empty()) {
        const std::uint8_t op = in.byte() % 6;
        const unsigned int n = in.u16() % 3000;
        switch (op) {
        case 0:
        case 1: { // putBuffer of up to 255 bytes from the input
            std::string text = in.bytes(n % 256);
            const unsigned int len = static_cast<unsigned int>(text.size());
            std::vector<unsigned char> src(text.begin(), text.end());
            src.push_back(0);
            check(buffer.putBuffer(src.data(), len) == len, "putBuffer count");
            if (!model.memory) {
                model.memory = true;
                model.capacity = len;
                model.step = 0;
            } else if (model.capacity - model.size < len) {
                model.capacity = model.grown(model.size + len);
            }
            for (unsigned int i = 0; i < len; ++i)
                model.bytes.push_back(src[i]);
            model.size += len;
            break;
        }
        case 2:
            buffer.resize(n);
            if (!model.memory) {
                model.memory = true;
                model.capacity = n;
                model.step = 0;
            } else if (n > 0 && model.capacity < n) {
                model.capacity = model.grown(n);
            }
            model.setSize(n);
            break;
        case 3:
            buffer.reserve(n);
            if (!model.memory) {
                model = Model();
                model.memory = true;
                model.capacity = n;
            } else if (n > 0 && model.capacity < n) {
                model.capacity = n;
            }
            break;
        case 4:
            if (n % 4 == 0) {
                buffer.reset();
                model = Model();
            } else {
                buffer.setIncreasedSize(n);
                if (!model.memory) {
                    model = Model();
                    model.memory = true;
                    model.capacity = n;
                }
                model.step = n;
            }
            break;
        default:
            // Write into the bytes in use through getBuffer.
            if (model.size > 0) {
                const unsigned int at = n % model.size;
                const unsigned char value = in.byte();
                buffer.getBuffer()[at] = value;
                model.bytes[at] = value;
            }
            break;
        }
        compare(buffer, model);
    }
    return 0;
}
