#pragma once

#include <zimg.h>

#include <memory>

#include "zimg/plane_image.hpp"

namespace korvel {

struct ColourGraphDeleter {
  void operator()(zimg_filter_graph* graph) const { zimg_filter_graph_free(graph); }
};
using ColourGraphPtr = std::unique_ptr<zimg_filter_graph, ColourGraphDeleter>;

// zimg's defaults for a picture of `size`; the caller fills in the rest.
zimg_image_format defaultFormat(PixelSize size);

// How zimg evaluates transfer curves. Its tables for PQ and sRGB stay within 0.1% (under one
// 8-bit step) at a fraction of the cost; its approximate HLG is off by up to 18%.
enum class CurvePrecision { kExact, kTabled };

// One zimg conversion between two formats of the same size (matrix, range, transfer,
// primaries, sample type). Linear light is scaled so that 1.0 is `whiteNits`.
class ColourGraph {
 public:
  // Throws MediaError when zimg cannot convert between the formats.
  ColourGraph(const zimg_image_format& from, const zimg_image_format& to, double whiteNits,
              CurvePrecision precision);

  // Planes in zimg's order: R, G, B or Y, U, V. Throws MediaError.
  void run(const PlaneImage& from, PlaneImage& to) const;

 private:
  ColourGraphPtr graph_;
  std::size_t scratchBytes_ = 0;
};

}  // namespace korvel
