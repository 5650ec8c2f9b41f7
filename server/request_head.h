// The bounds on a request's head as its bytes arrive: the request line and
// the header block each have a byte limit, and the request line is kept
// (shortened) for the log.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

class RequestHead {
public:
    RequestHead(size_t maxRequestLine, size_t maxHeaderBlock)
        : maxRequestLine_(maxRequestLine), maxHeaderBlock_(maxHeaderBlock) {}

    // Starts over for the next request of a connection.
    void Reset();

    // Follows the next bytes read. 0 while the head keeps to the limits (or
    // has ended: what follows is body); 414 once the request line is longer
    // than its limit, 431 once the header block is; a refusal stays.
    int Scan(const char* data, size_t n);

    // True once the blank line after the headers has been read.
    bool Ended() const { return state_ == State::Body; }

    // The request line without CRs, at most kLoggedLine bytes of it.
    const std::string& RequestLine() const { return requestLine_; }
    static constexpr size_t kLoggedLine = 200;

private:
    enum class State { RequestLine, Headers, Body, Refused };

    size_t maxRequestLine_, maxHeaderBlock_;
    State state_ = State::RequestLine;
    int refusal_ = 0;
    size_t lineBytes_ = 0, headerBytes_ = 0, headerLineBytes_ = 0;
    std::string requestLine_;
};
