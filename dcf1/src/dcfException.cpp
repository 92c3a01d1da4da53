#include <dcf/dcfException.h>

#include <cstring>

namespace {

template <std::size_t N>
void CopyCut(char (&field)[N], const char* text) {
  if (text == nullptr) text = "";
  const std::size_t n = strnlen(text, N - 1);
  std::memcpy(field, text, n);
  field[n] = '\0';
}

}  // namespace

dcfException::dcfException() : dcfException("dcfException", nullptr) {}

dcfException::dcfException(const char* typeName, const char* message)
    : typeName_{}, code_(E_FAIL), depth_(0), frames_{} {
  CopyCut(typeName_, typeName);
  CopyCut(frames_[0].file, "<exception was never thrown>");
  if (message != nullptr) CopyCut(frames_[0].message, message);
}

HRESULT dcfException::GetHResult() const { return E_FAIL; }

void dcfException::SetFile(const char* file, int level) {
  if (level == kCurrentLevel) level = depth_;
  if (level >= 0 && level < kFrames) CopyCut(frames_[level].file, file);
}

void dcfException::SetLine(std::int32_t line, int level) {
  if (level == kCurrentLevel) level = depth_;
  if (level >= 0 && level < kFrames) frames_[level].line = line;
}

void dcfException::SetMessage(const char* message, int level) {
  if (level == kCurrentLevel) level = depth_;
  if (level >= 0 && level < kFrames) CopyCut(frames_[level].message, message);
}

bool dcfException::NextLevel() {
  if (depth_ > kFrames - 2) return false;
  ++depth_;
  return true;
}

void dcfException::MarkHandled(std::int32_t line, const char* file) {
  const char* message = "Exception Handled";
  if (!NextLevel()) message = "!!! exception levels exceeded !!!";
  SetFile(file);
  SetLine(line);
  SetMessage(message);
}

HRESULT dcfRunTimeException::GetHResult() const { return E_FAIL; }
HRESULT dcfSystemException::GetHResult() const { return E_FAIL; }
HRESULT dcfResourceException::GetHResult() const { return E_FAIL; }
HRESULT dcfOutOfMemoryException::GetHResult() const { return E_OUTOFMEMORY; }
HRESULT dcfUnavailableResourceException::GetHResult() const { return E_FAIL; }
HRESULT dcfLogicalException::GetHResult() const { return E_FAIL; }
HRESULT dcfUnsupportedPlatformException::GetHResult() const { return DCF_E_UNSUPPORTED_PLATFORM; }
HRESULT dcfSequenceException::GetHResult() const { return E_FAIL; }
HRESULT dcfTargetDoesNotExistException::GetHResult() const { return E_POINTER; }

dcfRangeException::dcfRangeException()
    : dcfRunTimeException("dcfRangeException",
                          "<no message> exception was default constructed without a message") {}
HRESULT dcfRangeException::GetHResult() const { return E_INVALIDARG; }

namespace {

template <class E>
[[noreturn]] void ThrowAt(E& exception, std::int32_t line, const char* file) {
  exception.SetLine(line);
  exception.SetFile(file);
  throw exception;
}

}  // namespace

void dcfThrowRunTimeException(dcfRunTimeException e, std::int32_t line, const char* file) {
  ThrowAt(e, line, file);
}
void dcfThrowRangeException(dcfRangeException e, std::int32_t line, const char* file) {
  ThrowAt(e, line, file);
}
void dcfThrowSequenceException(dcfSequenceException e, std::int32_t line, const char* file) {
  ThrowAt(e, line, file);
}
void dcfThrowTargetDoesNotExistException(dcfTargetDoesNotExistException e, std::int32_t line,
                                         const char* file) {
  ThrowAt(e, line, file);
}
void dcfThrowUnsupportedPlatformException(dcfUnsupportedPlatformException e, std::int32_t line,
                                          const char* file) {
  ThrowAt(e, line, file);
}
void dcfThrowUnavailableResourceException(dcfUnavailableResourceException e, std::int32_t line,
                                          const char* file) {
  ThrowAt(e, line, file);
}
void RaiseOutOfMemory(dcfOutOfMemoryException e, std::int32_t line, const char* file) {
  ThrowAt(e, line, file);
}
