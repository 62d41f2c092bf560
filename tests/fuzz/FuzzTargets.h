#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The fuzz targets' entry functions. Each takes one input, drives the real code with it and checks what
// came out against what must come out; it returns an empty text when all held, else what went wrong.
// libFuzzer calls them through FuzzerEntry.cpp; FuzzCorpusTest replays the committed corpora through
// them in the normal test build, so that an input that once found a fault keeps guarding against it.

// One request head: byte 0 chooses whether the service asks for credentials (bit 0); the head the rest
// makes is parsed and routed by the pure functions the engine and the service use, and the status and the
// logged request text they lead to must be those the request deserves.
std::string FuzzRequestHead(const std::uint8_t* data, std::size_t size);

// The same input over the wire: sent to a running CaptureService on 127.0.0.1, the sending side shut
// down, and the answer's bytes and the access-log entry must be exactly those the request deserves. It
// covers what the pure target cannot: reading the head off the socket, the answers' bytes, the log line.
std::string FuzzRequestWire(const std::uint8_t* data, std::size_t size);

// The input is a click request path; its coordinates and the screen points made from them must be those
// of an independent reading of the same rules.
std::string FuzzClickQuery(const std::uint8_t* data, std::size_t size);

// The input is a settings file; reading keys from it must stay within the buffer, return only text the
// file or the default holds, and a key written must read back with every other key unchanged.
std::string FuzzProfileReader(const std::uint8_t* data, std::size_t size);
