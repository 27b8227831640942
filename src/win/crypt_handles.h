#pragma once
// RAII owners for the handles of the system's certificate and message functions.

#include <windows.h>
#include <wincrypt.h>

#include "win/handles.h"

namespace kv::win {

namespace detail {
inline void CloseCertStore(HCERTSTORE store) {
    ::CertCloseStore(store, 0);
}
inline void CloseCryptMessage(HCRYPTMSG message) {
    ::CryptMsgClose(message);
}
inline void FreeCertContext(PCCERT_CONTEXT certificate) {
    ::CertFreeCertificateContext(certificate);
}
}  // namespace detail

using CertStore = UniqueHandle<HCERTSTORE, detail::CloseCertStore>;
using CryptMessage = UniqueHandle<HCRYPTMSG, detail::CloseCryptMessage>;
using CertContext = UniqueHandle<PCCERT_CONTEXT, detail::FreeCertContext>;

}  // namespace kv::win
