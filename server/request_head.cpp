// Following a request's head byte by byte against its limits.
// SPDX-License-Identifier: MIT
#include "server/request_head.h"

void RequestHead::Reset() {
    state_ = State::RequestLine;
    refusal_ = 0;
    lineBytes_ = headerBytes_ = headerLineBytes_ = 0;
    requestLine_.clear();
}

int RequestHead::Scan(const char* data, size_t n) {
    for (size_t i = 0; i < n && (state_ == State::RequestLine || state_ == State::Headers); ++i) {
        const char c = data[i];
        if (state_ == State::RequestLine) {
            if (c == '\n') {
                state_ = State::Headers;
            } else if (++lineBytes_ > maxRequestLine_) {
                state_ = State::Refused;
                refusal_ = 414;
            } else if (requestLine_.size() < kLoggedLine && c != '\r') {
                requestLine_ += c;
            }
        } else if (++headerBytes_ > maxHeaderBlock_) {
            state_ = State::Refused;
            refusal_ = 431;
        } else if (c == '\n') {
            if (headerLineBytes_ == 0) state_ = State::Body;
            headerLineBytes_ = 0;
        } else if (c != '\r') {
            ++headerLineBytes_;
        }
    }
    return refusal_;
}
