#include "driver/encode/jpegerror.h"

// MuPDF decodes the JPEG pictures of a PDF through libjpeg with an error
// manager of its own that keeps libjpeg's output_message, which prints
// warnings ("Corrupt JPEG data: ...") to standard error, unprefixed and over
// the progress line. The converter is linked with --wrap=jpeg_std_error, so
// that every standard manager made in it, MuPDF's too, comes from here with
// warnings kept quiet: damage that stops a picture reaches the converter as
// MuPDF's error, and the page is named with it.
extern "C" jpeg_error_mgr* __real_jpeg_std_error(jpeg_error_mgr* err);

extern "C" jpeg_error_mgr* __wrap_jpeg_std_error(jpeg_error_mgr* err)
{
    __real_jpeg_std_error(err);
    err->output_message = [](j_common_ptr) {};
    return err;
}
