// Following a request's head byte by byte against its limits and its framing.
// SPDX-License-Identifier: MIT
#include "server/request_head.h"

void RequestHead::Reset() {
    state_ = State::RequestLine;
    refusal_ = 0;
    afterCr_ = false;
    lineBytes_ = headerBytes_ = headerLineBytes_ = 0;
    requestLine_.clear();
}

int RequestHead::Refuse(int status) {
    state_ = State::Refused;
    return refusal_ = status;
}

int RequestHead::Scan(const char* data, size_t n, size_t* used) {
    size_t i = 0;
    for (; i < n && (state_ == State::RequestLine || state_ == State::Headers); ++i) {
        const char c = data[i];
        // A lone CR or LF is where two parsers may split a stream differently.
        if (afterCr_ != (c == '\n')) {
            ++i;
            Refuse(400);
            break;
        }
        afterCr_ = c == '\r';
        if (state_ == State::RequestLine) {
            if (c == '\n') {
                state_ = State::Headers;
            } else if (++lineBytes_ > maxRequestLine_) {
                ++i;
                Refuse(414);
                break;
            } else if (requestLine_.size() < kLoggedLine && c != '\r') {
                requestLine_ += c;
            }
        } else if (++headerBytes_ > maxHeaderBlock_) {
            ++i;
            Refuse(431);
            break;
        } else if (c == '\n') {
            if (headerLineBytes_ == 0) state_ = State::Ended;
            headerLineBytes_ = 0;
        } else if (c != '\r') {
            // A line that starts with a blank continues the one before (obs-fold).
            if (headerLineBytes_ == 0 && (c == ' ' || c == '\t')) {
                ++i;
                Refuse(400);
                break;
            }
            ++headerLineBytes_;
        }
    }
    if (used) *used = i;
    return refusal_;
}
