#include "platform/ndis/fault_injection.h"

namespace ndis {

FailureRule FailNth(RequestKind kind, std::uint64_t ordinal) {
  return [kind, ordinal](const ResourceRequest& r) { return r.kind == kind && r.ordinal == ordinal; };
}

FailureRule FailTag(std::uint32_t tag) {
  return [tag](const ResourceRequest& r) { return r.kind == RequestKind::Memory && r.tag == tag; };
}

FailureRule FailAll(RequestKind kind) {
  return [kind](const ResourceRequest& r) { return r.kind == kind; };
}

}  // namespace ndis
