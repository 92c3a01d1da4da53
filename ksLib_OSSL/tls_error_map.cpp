#include "ksLib_OSSL/tls_error_map.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

namespace {

struct ReasonCode {
  int reason;
  std::uint32_t code;
};

// The TLS library's reasons by meaning (OpenSSL renumbered them since the reasons were first
// grouped, so they are named here, not numbered).
constexpr ReasonCode kSslReasons[] = {
    {SSL_R_UNEXPECTED_MESSAGE, kTlsErrorUnexpectedMessage},
    {SSL_R_UNEXPECTED_CCS_MESSAGE, kTlsErrorUnexpectedMessage},
    {SSL_R_CCS_RECEIVED_EARLY, kTlsErrorUnexpectedMessage},
    {SSL_R_UNEXPECTED_RECORD, kTlsErrorUnexpectedMessage},
    {SSL_R_BAD_HELLO_REQUEST, kTlsErrorUnexpectedMessage},
    {SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC, kTlsErrorBadMac},
    {SSL_R_NO_CERTIFICATES_RETURNED, kTlsErrorCertificateMissing},
    {SSL_R_PEER_DID_NOT_RETURN_A_CERTIFICATE, kTlsErrorCertificateMissing},
    {SSL_R_MISSING_RSA_CERTIFICATE, kTlsErrorCertificateMissing},
    {SSL_R_NO_CERTIFICATE_ASSIGNED, kTlsErrorCertificateMissing},
    {SSL_R_LENGTH_MISMATCH, kTlsErrorMalformedMessage},
    {SSL_R_LENGTH_TOO_SHORT, kTlsErrorMalformedMessage},
    {SSL_R_BAD_PACKET_LENGTH, kTlsErrorMalformedMessage},
    {SSL_R_BAD_LENGTH, kTlsErrorMalformedMessage},
    {SSL_R_BAD_PACKET, kTlsErrorMalformedMessage},
    {SSL_R_RECORD_LENGTH_MISMATCH, kTlsErrorMalformedMessage},
    {SSL_R_BAD_RECORD_TYPE, kTlsErrorMalformedMessage},
    {SSL_R_BAD_SIGNATURE, kTlsErrorBadSignature},
    {SSL_R_WRONG_SIGNATURE_LENGTH, kTlsErrorBadSignature},
    {SSL_R_WRONG_SIGNATURE_SIZE, kTlsErrorBadSignature},
    {SSL_R_BAD_RSA_ENCRYPT, kTlsErrorBadSignature},
    {SSL_R_OLD_SESSION_CIPHER_NOT_RETURNED, kTlsErrorSessionCipher},
    {SSL_R_REQUIRED_CIPHER_MISSING, kTlsErrorSessionCipher},
    {SSL_R_NO_CIPHERS_AVAILABLE, kTlsErrorNoCiphers},
    {SSL_R_NO_CIPHERS_SPECIFIED, kTlsErrorNoCiphers},
    {SSL_R_NO_SHARED_CIPHER, kTlsErrorNoSharedCipher},
    {SSL_R_WRONG_CIPHER_RETURNED, kTlsErrorNoSharedCipher},
    {SSL_R_WRONG_SSL_VERSION, kTlsErrorWrongVersion},
    {SSL_R_WRONG_VERSION_NUMBER, kTlsErrorWrongVersion},
    {SSL_R_UNSUPPORTED_PROTOCOL, kTlsErrorWrongVersion},
    {SSL_R_DATA_LENGTH_TOO_LONG, kTlsErrorRecordTooLong},
    {SSL_R_ENCRYPTED_LENGTH_TOO_LONG, kTlsErrorRecordTooLong},
    {SSL_R_EXCESSIVE_MESSAGE_SIZE, kTlsErrorRecordTooLong},
    {SSL_R_PACKET_LENGTH_TOO_LONG, kTlsErrorRecordTooLong},
    {SSL_R_COMPRESSED_LENGTH_TOO_LONG, kTlsErrorRecordTooLong},
    {SSL_R_BAD_DH_VALUE, kTlsErrorKeyExchange},
    {SSL_R_BAD_ECPOINT, kTlsErrorKeyExchange},
    {SSL_R_DH_KEY_TOO_SMALL, kTlsErrorKeyExchange},
    {SSL_R_BAD_KEY_SHARE, kTlsErrorKeyExchange},
    {SSL_R_BLOCK_CIPHER_PAD_IS_WRONG, kTlsErrorBadPadding},
    {SSL_R_DECRYPTION_FAILED, kTlsErrorBadPadding},
};

// Errors another OpenSSL library reported to the TLS library.
constexpr ReasonCode kCommonReasons[] = {
    {ERR_R_MALLOC_FAILURE, kTlsErrorOutOfMemory}, {ERR_R_BUF_LIB, kTlsErrorOutOfMemory},
    {ERR_R_BN_LIB, kTlsErrorBigNumber},           {ERR_R_RSA_LIB, kTlsErrorRsa},
    {ERR_R_DSA_LIB, kTlsErrorDsa},                {ERR_R_DH_LIB, kTlsErrorDh},
    {ERR_R_ASN1_LIB, kTlsErrorAsn1},              {ERR_R_PEM_LIB, kTlsErrorPem},
    {ERR_R_X509_LIB, kTlsErrorX509},              {ERR_R_EVP_LIB, kTlsErrorEvp},
};

// The library that raised an error, when it is not the TLS library itself.
constexpr ReasonCode kLibraries[] = {
    {ERR_LIB_BUF, kTlsErrorOutOfMemory}, {ERR_LIB_BN, kTlsErrorBigNumber},
    {ERR_LIB_RSA, kTlsErrorRsa},         {ERR_LIB_DSA, kTlsErrorDsa},
    {ERR_LIB_DH, kTlsErrorDh},           {ERR_LIB_ASN1, kTlsErrorAsn1},
    {ERR_LIB_PEM, kTlsErrorPem},         {ERR_LIB_X509, kTlsErrorX509},
    {ERR_LIB_EVP, kTlsErrorEvp},
};

template <std::size_t N>
bool Find(const ReasonCode (&table)[N], int value, std::uint32_t& code) {
  for (const ReasonCode& entry : table) {
    if (entry.reason == value) {
      code = entry.code;
      return true;
    }
  }
  return false;
}

}  // namespace

std::uint32_t MapVerifyResult(long verifyResult) {
  switch (verifyResult) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_CHAIN_TOO_LONG:
      return kTlsErrorServerChainIncomplete;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
      return kTlsErrorRevocationUnknown;
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
      return kTlsErrorServerCertificateUnreadable;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kTlsErrorServerCertificateNotYetValid;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return kTlsErrorServerCertificateExpired;
    case X509_V_ERR_CERT_REVOKED:
      return kTlsErrorServerCertificateRevoked;
    case X509_V_ERR_APPLICATION_VERIFICATION:
      return kTlsErrorApplicationRefused;
    case X509_V_ERR_OUT_OF_MEM:
      return kTlsErrorOutOfMemory;
    default:
      return kTlsErrorServerCertificateUntrusted;
  }
}

std::uint32_t MapTlsError(unsigned long errorCode, const SSL* connection) {
  if (errorCode == 0) return kTlsErrorNone;
  const int library = ERR_GET_LIB(errorCode);
  const int reason = ERR_GET_REASON(errorCode);
  std::uint32_t code = kTlsErrorOther;
  if (library == ERR_LIB_SSL && reason == SSL_R_CERTIFICATE_VERIFY_FAILED) {
    return connection != nullptr ? MapVerifyResult(SSL_get_verify_result(connection))
                                 : kTlsErrorServerCertificateUntrusted;
  }
  if (Find(kCommonReasons, reason, code)) return code;
  if (library == ERR_LIB_SSL) {
    Find(kSslReasons, reason, code);
    return code;
  }
  Find(kLibraries, library, code);
  return code;
}
