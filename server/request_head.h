// The bounds and the framing of a request's head as its bytes arrive: the
// request line and the header block each have a byte limit, every line ends
// with CRLF and no header line is folded; the request line is kept
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

    // Follows the next bytes read. 0 while the head keeps to the rules (or
    // has ended: what follows is not the head's); 414 once the request line
    // is longer than its limit, 431 once the header block is, 400 for a CR
    // or LF that is not part of a CRLF and for a folded header line. A
    // refusal stays. `used`, when given, receives how many of the bytes
    // belong to the head.
    int Scan(const char* data, size_t n, size_t* used = nullptr);

    // True once the request line has ended and the headers are arriving.
    bool InHeaders() const { return state_ == State::Headers; }
    // True once the blank line after the headers has been read.
    bool Ended() const { return state_ == State::Ended; }

    // The request line without its CRLF, at most kLoggedLine bytes of it.
    const std::string& RequestLine() const { return requestLine_; }
    static constexpr size_t kLoggedLine = 200;

private:
    enum class State { RequestLine, Headers, Ended, Refused };

    int Refuse(int status);

    size_t maxRequestLine_, maxHeaderBlock_;
    State state_ = State::RequestLine;
    int refusal_ = 0;
    bool afterCr_ = false;
    size_t lineBytes_ = 0, headerBytes_ = 0, headerLineBytes_ = 0;
    std::string requestLine_;
};
