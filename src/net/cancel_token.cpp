#include "net/cancel_token.h"

CancelToken::CancelToken() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void CancelToken::Cancel() {
    cancelled_.store(true);
    if (event_) ::SetEvent(event_.Get());
}
