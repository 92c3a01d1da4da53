#include "ksSupp/eapol/eapol_frame.h"

#include <collections/dcfByteArray.h>

#include <cstring>

#include "ksSupp/eapol/supplicant_pae.h"
#include "ksSupp/trace.h"

void WriteEapolFrame(dcfByteArray& frame, std::uint8_t version, std::uint8_t type,
                     const std::uint8_t* body, std::uint32_t length) {
  frame.Resize(0);
  frame.Resize(kEapolHeaderSize + length);
  std::uint8_t* out = frame.Data();
  out[0] = version;
  out[1] = type;
  out[2] = static_cast<std::uint8_t>(length >> 8);
  out[3] = static_cast<std::uint8_t>(length);
  if (length != 0) std::memcpy(out + kEapolHeaderSize, body, length);
}

EapolReceived ReceiveEapolFrame(SupplicantPae& pae, const std::uint8_t* frame,
                                std::uint32_t length, EapolHeader& header) {
  if (TraceEnabled(TraceLevel::Event)) {
    traceEvent(TraceCategory::Eap, frame, length, "Received EAPOL packet\n");
  }
  if (length < kEapolHeaderSize) {
    if (TraceEnabled(TraceLevel::Error)) {
      traceError(TraceCategory::Eap, nullptr, 0,
                 "Discarding EAPOL packet: too small to contain EAPOL header\n");
    }
    return EapolReceived::kDiscarded;
  }
  header.version = frame[0];
  header.type = frame[1];
  header.bodyLength = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
  header.body = frame + kEapolHeaderSize;
  if (header.bodyLength > length - kEapolHeaderSize) {
    if (TraceEnabled(TraceLevel::Error)) {
      traceError(TraceCategory::Eap, nullptr, 0,
                 "Discarding EAPOL packet: length requires longer message\n");
    }
    return EapolReceived::kDiscarded;
  }
  switch (header.type) {
    case kEapolEapPacket:
      // Answer in the authenticator's version when we know it, else in the newest we speak.
      pae.SetEapolVersion(header.version <= 2 ? header.version : 2);
      pae.ReceiveEap(header.body, header.bodyLength);
      return EapolReceived::kEapPacket;
    case kEapolKey:
      if (TraceEnabled(TraceLevel::Event)) {
        traceEvent(TraceCategory::Keys, nullptr, 0, "Processing EAPOL-Key message\n");
      }
      return EapolReceived::kKey;
    default:
      if (TraceEnabled(TraceLevel::Error)) {
        traceError(TraceCategory::Keys, nullptr, 0,
                   "Discarding EAPOL packet: unknown packet type %u\n",
                   static_cast<unsigned>(header.type));
      }
      return EapolReceived::kDiscarded;
  }
}
