#pragma once
// Error handling for the paths that call libjpeg-turbo directly. libjpeg reports an error
// by calling a function that must not return: it jumps back to the caller's setjmp point.
// Warnings (such as a preview cut short) stay off the console, as they do in FreeImage.
#include <csetjmp>

#include "pipeline/JpegLib.h"

struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] inline void JumpBackOnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

inline void KeepJpegWarningsQuiet(j_common_ptr) {}

// Sets up `errors` for a libjpeg object and returns what belongs in its `err` field.
inline jpeg_error_mgr* PrepareJpegErrors(JpegErrorManager& errors) {
  jpeg_error_mgr* manager = jpeg_std_error(&errors.base);
  errors.base.error_exit = JumpBackOnJpegError;
  errors.base.output_message = KeepJpegWarningsQuiet;
  return manager;
}
