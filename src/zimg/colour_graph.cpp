#include "zimg/colour_graph.hpp"

#include "media/media_error.hpp"

namespace korvel {

zimg_image_format defaultFormat(PixelSize size) {
  zimg_image_format format;
  zimg_image_format_default(&format, ZIMG_API_VERSION);
  format.width = static_cast<unsigned>(size.width);
  format.height = static_cast<unsigned>(size.height);
  return format;
}

ColourGraph::ColourGraph(const zimg_image_format& from, const zimg_image_format& to,
                         double whiteNits, CurvePrecision precision) {
  zimg_graph_builder_params params;
  zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
  params.nominal_peak_luminance = whiteNits;
  params.allow_approximate_gamma = precision == CurvePrecision::kTabled ? 1 : 0;
  graph_.reset(zimg_filter_graph_build(&from, &to, &params));
  if (!graph_ ||
      zimg_filter_graph_get_tmp_size(graph_.get(), &scratchBytes_) != ZIMG_ERROR_SUCCESS) {
    throw MediaError();
  }
}

void ColourGraph::run(const PlaneImage& from, PlaneImage& to) const {
  zimg_image_buffer_const source{};
  source.version = ZIMG_API_VERSION;
  zimg_image_buffer target{};
  target.version = ZIMG_API_VERSION;
  for (int index = 0; index < PlaneImage::kPlanes; ++index) {
    source.plane[index] = {from.plane(index), from.stride(), ZIMG_BUFFER_MAX};
    target.plane[index] = {to.plane(index), to.stride(), ZIMG_BUFFER_MAX};
  }
  const AlignedBlock scratch = allocateAligned(scratchBytes_);
  if (zimg_filter_graph_process(graph_.get(), &source, &target, scratch.get(), nullptr, nullptr,
                                nullptr, nullptr) != ZIMG_ERROR_SUCCESS) {
    throw MediaError();
  }
}

}  // namespace korvel
