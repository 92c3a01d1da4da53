#pragma once
// The library's error objects: a class tree whose every member has the same fixed-size
// layout (type name, code, depth, a trace of five frames), thrown and caught by value.
// A handler for a class catches every class below it; catch sites add a frame and rethrow
// or turn the exception into a result (never across a C boundary).
#include <cstdint>

#include "platform/win32/hresult.h"

// A trace frame: where the exception was raised or handled, and what was said there.
struct dcfTraceFrame {
  char file[80];  // at most 79 characters, NUL-terminated
  std::int32_t line;
  char message[320];  // at most 319 characters, NUL-terminated
};

class dcfException {
public:
  static constexpr int kFrames = 5;
  static constexpr int kCurrentLevel = -1;

  dcfException();
  dcfException(const dcfException&) = default;
  dcfException& operator=(const dcfException&) = default;
  virtual ~dcfException() = default;

  // The HRESULT of the class (not of the instance: see Code()).
  virtual HRESULT GetHResult() const;

  const char* TypeName() const { return typeName_; }
  // The failure code of this instance: E_FAIL unless a thrower stored a more precise one.
  HRESULT Code() const { return code_; }
  void SetCode(HRESULT code) { code_ = code; }
  int Depth() const { return depth_; }
  const dcfTraceFrame& Frame(int level) const { return frames_[level]; }

  // Write one field of the frame at level (kCurrentLevel = the current depth); texts are cut
  // to the field's size. A level outside 0..4 is ignored.
  void SetFile(const char* file, int level = kCurrentLevel);
  void SetLine(std::int32_t line, int level = kCurrentLevel);
  void SetMessage(const char* message, int level = kCurrentLevel);

  // Moves to the next frame; false, and no change, when the trace is full (depth 4).
  bool NextLevel();
  // The annotation of a catch site that handles the exception: a new frame (file, line,
  // "Exception Handled"), or, when the trace is full, frame 4 overwritten with
  // "!!! exception levels exceeded !!!".
  void MarkHandled(std::int32_t line, const char* file);

protected:
  // For the derived classes: the class name, and the message of frame 0 (null = none).
  dcfException(const char* typeName, const char* message);

private:
  char typeName_[80];
  HRESULT code_;
  std::int32_t depth_;
  dcfTraceFrame frames_[kFrames];
};

// Declares a class of the tree: default construction, construction from a message, and the
// class HRESULT. The type name written into the object is the class name.
#define DCF_DECLARE_EXCEPTION(Class, Base)                                       \
  class Class : public Base {                                                    \
  public:                                                                        \
    Class() : Base(#Class, nullptr) {}                                           \
    explicit Class(const char* message) : Base(#Class, message) {}               \
    HRESULT GetHResult() const override;                                         \
                                                                                 \
  protected:                                                                     \
    Class(const char* typeName, const char* message) : Base(typeName, message) {} \
  }

DCF_DECLARE_EXCEPTION(dcfRunTimeException, dcfException);
DCF_DECLARE_EXCEPTION(dcfSystemException, dcfRunTimeException);
DCF_DECLARE_EXCEPTION(dcfResourceException, dcfSystemException);
DCF_DECLARE_EXCEPTION(dcfOutOfMemoryException, dcfResourceException);
DCF_DECLARE_EXCEPTION(dcfUnavailableResourceException, dcfResourceException);
DCF_DECLARE_EXCEPTION(dcfLogicalException, dcfException);
DCF_DECLARE_EXCEPTION(dcfUnsupportedPlatformException, dcfLogicalException);
DCF_DECLARE_EXCEPTION(dcfSequenceException, dcfLogicalException);
DCF_DECLARE_EXCEPTION(dcfTargetDoesNotExistException, dcfSequenceException);

// A range exception built without a message still says so in frame 0.
class dcfRangeException : public dcfRunTimeException {
public:
  dcfRangeException();
  explicit dcfRangeException(const char* message)
      : dcfRunTimeException("dcfRangeException", message) {}
  HRESULT GetHResult() const override;
};

#undef DCF_DECLARE_EXCEPTION

// The class HRESULT of dcfUnsupportedPlatformException.
constexpr HRESULT DCF_E_UNSUPPORTED_PLATFORM = static_cast<HRESULT>(0x80004021u);

// Throw functions: record (line, file) in the current frame of the prepared exception and
// throw it as the named class. None returns.
[[noreturn]] void dcfThrowRunTimeException(dcfRunTimeException exception, std::int32_t line,
                                           const char* file);
[[noreturn]] void dcfThrowRangeException(dcfRangeException exception, std::int32_t line,
                                         const char* file);
[[noreturn]] void dcfThrowSequenceException(dcfSequenceException exception, std::int32_t line,
                                            const char* file);
[[noreturn]] void dcfThrowTargetDoesNotExistException(dcfTargetDoesNotExistException exception,
                                                      std::int32_t line, const char* file);
[[noreturn]] void dcfThrowUnsupportedPlatformException(
    dcfUnsupportedPlatformException exception, std::int32_t line, const char* file);
[[noreturn]] void dcfThrowUnavailableResourceException(
    dcfUnavailableResourceException exception, std::int32_t line, const char* file);
[[noreturn]] void RaiseOutOfMemory(dcfOutOfMemoryException exception, std::int32_t line,
                                   const char* file);
