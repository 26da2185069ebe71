#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// libjpeg reports a fatal error by calling error_exit, whose default ends the
// process; this manager jumps back to the caller's setjmp on `back` with the
// message kept. Only plain C data may live between the setjmp and the jump,
// so that nothing is skipped that would need destroying. Warnings stay quiet:
// libjpeg's own output goes to standard error, and what is not usable ends in
// an error anyway.
struct JPEGErrorJump {
    jpeg_error_mgr base;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];

    // The manager to put in the libjpeg object's `err`.
    jpeg_error_mgr* Install()
    {
        jpeg_std_error(&base);
        base.error_exit = [](j_common_ptr info) {
            auto* self = reinterpret_cast<JPEGErrorJump*>(info->err);
            (*info->err->format_message)(info, self->message);
            std::longjmp(self->back, 1);
        };
        base.output_message = [](j_common_ptr) {};
        return &base;
    }
};
