#include "tests/uilib/headless_fixture.h"

#include <cairo.h>
#include <sys/stat.h>

namespace uilib::testing {

void HeadlessTest::SetUp() {
  HeadlessBackend::Options options;
  options.manual_clock = true;
  auto headless = std::make_unique<HeadlessBackend>(options);
  backend = headless.get();
  previous_ = SetUiBackend(std::move(headless));
  dir = std::make_unique<ombrix::test::TempDir>();
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 60, 20);
  cairo_t* cr = cairo_create(s);
  const double colours[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int i = 0; i < 3; ++i) {
    cairo_set_source_rgb(cr, colours[i][0], colours[i][1], colours[i][2]);
    cairo_rectangle(cr, i * 20, 0, 20, 20);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_write_to_png(s, dir->Sub("sprite.png").c_str());
  cairo_surface_destroy(s);
}

void HeadlessTest::TearDown() {
  SetUiBackend(std::move(previous_));
  backend = nullptr;
}

std::string HeadlessTest::WriteSkin(const std::string& name, const std::string& xml) {
  std::string path = dir->Sub(name);
  ombrix::test::WriteFile(path, xml);
  return path;
}

std::string HeadlessTest::OutputDir() {
  std::string out = ombrix::test::BinaryDir() + "/test-output";
  mkdir(out.c_str(), 0755);
  out += "/uilib";
  mkdir(out.c_str(), 0755);
  return out;
}

}  // namespace uilib::testing
