#include "png/rows/filters.h"

#include "png/rows/filters_choose.h"

namespace {

// x is the row being restored, b the previous row, both past the filter byte.
void UnfilterNone(uint8_t*, const uint8_t*, int32_t, int32_t) {}

void UnfilterSub(uint8_t* row, const uint8_t*, int32_t length, int32_t step)
{
    uint8_t* x = row + 1;
    for (int32_t i = step; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + x[i - step]);
}

void UnfilterUp(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    for (int32_t i = 0; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + b[i]);
}

void UnfilterAverage(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    int32_t first = step < length ? step : length;
    for (int32_t i = 0; i < first; ++i)
        x[i] = static_cast<uint8_t>(x[i] + (b[i] >> 1));
    // The sum reaches 510: it is taken in int, never in a byte.
    for (int32_t i = step; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + ((x[i - step] + b[i]) >> 1));
}

void UnfilterPaeth(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    int32_t first = step < length ? step : length;
    // With a = c = 0 the predictor is always b.
    for (int32_t i = 0; i < first; ++i)
        x[i] = static_cast<uint8_t>(x[i] + b[i]);
    for (int32_t i = step; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + PaethPredictor(x[i - step], b[i], b[i - step]));
}

constexpr RowFilters kByteFilters = {{UnfilterNone, UnfilterSub, UnfilterUp, UnfilterAverage, UnfilterPaeth}};

}  // namespace

RowFilters ChooseRowFilters(bool wide)
{
    RowFilters filters = kByteFilters;
    if (wide)
        filters.Routines[static_cast<int>(FilterType::Up)] = UnfilterUpWide;
    return filters;
}

void UnfilterRow(const RowFilters& filters, uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
    uint8_t type = row[0];
    if (type > static_cast<uint8_t>(FilterType::Paeth) || length <= 0)
        return;
    // A step of 0 comes only from an invalid pixel format; 1 keeps the loops
    // inside the row all the same.
    filters.Routines[type](row, previous, length, step < 1 ? 1 : step);
}

void UnfilterRow(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
    UnfilterRow(kByteFilters, row, previous, length, step);
}

void SubTail(uint8_t* x, int32_t from, int32_t length, int32_t step)
{
    for (int32_t i = from < step ? step : from; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + x[i - step]);
}

void AverageTail(uint8_t* x, const uint8_t* b, int32_t from, int32_t length, int32_t step)
{
    for (int32_t i = from; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + (((i >= step ? x[i - step] : 0) + b[i]) >> 1));
}

void PaethTail(uint8_t* x, const uint8_t* b, int32_t from, int32_t length, int32_t step)
{
    for (int32_t i = from; i < length; ++i) {
        const uint8_t a = i >= step ? x[i - step] : 0, c = i >= step ? b[i - step] : 0;
        x[i] = static_cast<uint8_t>(x[i] + PaethPredictor(a, b[i], c));
    }
}

bool RestoreTogether(const uint8_t* rows, int32_t stride, int32_t count)
{
    int32_t paeth = 0, average = 0;
    for (int32_t k = 0; k < count; ++k) {
        paeth += rows[k * stride] == static_cast<uint8_t>(FilterType::Paeth);
        average += rows[k * stride] == static_cast<uint8_t>(FilterType::Average);
    }
    if (count > 4)
        return 4 * (paeth + average) >= 3 * count;
    return paeth >= 3 || paeth + average == 4;
}
