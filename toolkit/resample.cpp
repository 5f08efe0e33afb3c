#include "toolkit/resample.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

// One output pixel's share of the source along one axis: the source pixels
// it covers, each with the length covered, in units of 1 / `out` source
// pixels (so the weights of a pixel add up to `in`).
struct Span {
  int First = 0;
  std::vector<int> Weights;
};

std::vector<Span> AreaSpans(int in, int out) {
  std::vector<Span> spans(static_cast<std::size_t>(out));
  for (int o = 0; o < out; ++o) {
    const long long begin = static_cast<long long>(o) * in;
    const long long end = begin + in;
    Span& span = spans[static_cast<std::size_t>(o)];
    span.First = static_cast<int>(begin / out);
    for (int i = span.First; static_cast<long long>(i) * out < end; ++i) {
      const long long from = std::max(begin, static_cast<long long>(i) * out);
      const long long to = std::min(end, static_cast<long long>(i + 1) * out);
      span.Weights.push_back(static_cast<int>(to - from));
    }
  }
  return spans;
}

std::vector<Span> NearestSpans(int in, int out) {
  std::vector<Span> spans(static_cast<std::size_t>(out));
  for (int o = 0; o < out; ++o) {
    const long long centre = 2LL * o * in + in;  // in units of 1 / (2 * out)
    spans[static_cast<std::size_t>(o)] = {static_cast<int>(centre / (2LL * out)), {in}};
  }
  return spans;
}

}  // namespace

TFilter FilterFor(TBitmap) {
  return TFilter::Area;
}

RgbImage Resample(const RgbImage& image, int sourceWidth, int sourceHeight, int width, int height,
                  TFilter filter) {
  sourceWidth = std::min(sourceWidth, image.Width);
  sourceHeight = std::min(sourceHeight, image.Height);
  if (image.Empty() || sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) {
    return {};
  }
  const auto spans = filter == TFilter::Area ? AreaSpans : NearestSpans;
  const std::vector<Span> columns = spans(sourceWidth, width);
  const std::vector<Span> rows = spans(sourceHeight, height);
  const int channels = image.Channels;
  RgbImage result{width, height, channels, {}};
  result.Pixels.resize(static_cast<std::size_t>(width) * height * channels);
  const long long total = static_cast<long long>(sourceWidth) * sourceHeight;
  std::vector<long long> sum(static_cast<std::size_t>(channels));
  for (int y = 0; y < height; ++y) {
    const Span& row = rows[static_cast<std::size_t>(y)];
    for (int x = 0; x < width; ++x) {
      const Span& column = columns[static_cast<std::size_t>(x)];
      std::fill(sum.begin(), sum.end(), 0);
      for (std::size_t j = 0; j < row.Weights.size(); ++j) {
        const std::size_t line = static_cast<std::size_t>(row.First) + j;
        for (std::size_t i = 0; i < column.Weights.size(); ++i) {
          const long long weight = static_cast<long long>(row.Weights[j]) * column.Weights[i];
          const unsigned char* pixel =
              &image.Pixels[(line * image.Width + column.First + i) * channels];
          for (int c = 0; c < channels; ++c) sum[static_cast<std::size_t>(c)] += weight * pixel[c];
        }
      }
      unsigned char* out = &result.Pixels[(static_cast<std::size_t>(y) * width + x) * channels];
      for (int c = 0; c < channels; ++c) {
        out[c] = static_cast<unsigned char>((sum[static_cast<std::size_t>(c)] + total / 2) / total);
      }
    }
  }
  return result;
}
