// The start-up floor of pixquillcmd: a program that loads the same shared libraries (it is
// linked like pixquillcmd) and does nothing else but print FreeImage's version, as
// `pixquillcmd -v` prints its own. The benchmark times the two side by side.
#include <FreeImage.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <cstdio>

int main(int argc, char**) {
  std::puts(FreeImage_GetVersion());
  // Never taken: references that keep each library a direct dependency whatever the linker's
  // defaults.
  if (argc > 1000) {
    cairo_destroy(cairo_create(nullptr));
    FcFini();
    TIFFSetErrorHandler(nullptr);
    jpeg_std_error(nullptr);
  }
  return 0;
}
