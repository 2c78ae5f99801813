// A deliberately plain second decoder for the differential tests: bits taken
// one byte at a time, the output flushed before every Implode back-reference
// byte and read back from what was flushed, trees searched entry by entry.
// It shares no code with TAbUnzipHelper, only the rules for refusing data the
// tables cannot hold.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "zip/engine/AbUtils.h"

namespace legacy_test {

struct ReferenceFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ReferenceDecoder {
 public:
  std::vector<uint8_t> output;  // what reached the sink
  std::vector<int> progress;
  uint32_t crc = 0xFFFFFFFF;
  bool recordProgress = false;

  ReferenceDecoder(const std::vector<uint8_t>& data, uint32_t offset, int32_t compressedSize,
                   int32_t uncompressedSize)
      : data_(data), at_(offset), remaining_(compressedSize), size_(uncompressedSize) {}

  void Run(uint8_t method, uint8_t dictionarySize, uint8_t treeCount) {
    try {
      if (method == 1)
        Shrink();
      else if (method >= 2 && method <= 5)
        Reduce(method - 1);
      else if (method == 6)
        Implode(dictionarySize, treeCount);
      else
        throw ReferenceFailure("method");
    } catch (...) {
      Flush();
      throw;
    }
    Flush();
  }

  // Loads one tree of count entries and decodes n symbols with it.
  std::vector<int> TreeSymbols(int count, int n) {
    const auto tree = LoadTree(count);
    std::vector<int> symbols;
    for (int i = 0; i < n; ++i) symbols.push_back(Symbol(tree));
    return symbols;
  }

 private:
  // ---- input, a byte at a time
  void Fill() {
    if (remaining_ == 0) {
      eoi_ = true;
      pos_ = count_ + 1;
      return;
    }
    const int32_t left = static_cast<int32_t>(data_.size()) - static_cast<int32_t>(at_);
    const int32_t n = std::min({remaining_, 4096, left});
    if (n <= 0) throw ReferenceFailure("read");
    std::copy_n(data_.begin() + at_, n, buffer_.begin());
    at_ += static_cast<uint32_t>(n);
    count_ = n;
    remaining_ -= n;
    eoi_ = false;
    cur_ = buffer_[0];
    pos_ = 2;
  }
  void Fetch() {
    if (pos_ <= count_)
      cur_ = buffer_[pos_++ - 1];
    else
      Fill();
    left_ = 8;
  }
  uint32_t Take(int n) {
    if (left_ == 0) Fetch();
    if (n < left_) {
      const uint32_t r = cur_ & ((1u << n) - 1);
      cur_ = static_cast<uint8_t>(cur_ >> n);
      left_ -= n;
      return r;
    }
    if (n == left_) {
      const uint32_t r = cur_;
      cur_ = 0;
      left_ = 0;
      return r;
    }
    const int b = left_;
    const uint32_t low = cur_;
    Fetch();
    return low | (Take(n - b) << b);
  }

  // ---- output
  void Put(uint8_t b) {
    pending_.push_back(b);
    if (pending_.size() == 32768 || static_cast<int64_t>(output.size() + pending_.size()) == size_)
      Flush();
  }
  void Flush() {
    output.insert(output.end(), pending_.begin(), pending_.end());
    crc = ab::UpdateCrc32(crc, pending_.data(), pending_.size());
    pending_.clear();
    const int p = ab::Percentage(static_cast<int32_t>(output.size()), size_);
    if (recordProgress && p != last_) {
      last_ = p;
      progress.push_back(p);
    }
  }
  int64_t Total() const { return static_cast<int64_t>(output.size() + pending_.size()); }

  // ---- Shrink
  void Shrink() {
    std::vector<int16_t> prefix(8193, -1);
    std::vector<uint8_t> suffix(8193, 0);
    std::vector<uint8_t> stack;
    for (int c = 255; c >= 0; --c) prefix[c] = 0, suffix[c] = static_cast<uint8_t>(c);
    int width = 9, next = 257;
    int old = static_cast<int>(Take(9));
    if (eoi_) return;
    uint8_t base = static_cast<uint8_t>(old);
    Put(base);
    while (!eoi_) {
      int code = static_cast<int>(Take(width));
      while (code == 256 && !eoi_) {
        const uint32_t s = Take(width);
        if (s == 1 && ++width > 13) {
          if (eoi_) return;
          throw ReferenceFailure("width");
        }
        if (s == 2) {
          for (int c = 257; c < next; ++c) prefix[c] = static_cast<int16_t>(prefix[c] | 0x8000);
          for (int c = 257; c < next; ++c) {
            if (prefix[c] == -1) continue;
            const int r = prefix[c] & 0x7FFF;
            if (r >= 257 && r < 8192 && prefix[r] != -1)
              prefix[r] = static_cast<int16_t>(prefix[r] & 0x7FFF);
          }
          for (int c = 257; c < next; ++c)
            if (prefix[c] < 0) prefix[c] = -1;
          next = 257;
          while (next < 8192 && prefix[next] != -1) ++next;
        }
        code = static_cast<int>(Take(width));
      }
      if (eoi_) return;
      const int saved = code;
      stack.clear();
      auto push = [&](uint8_t b) {
        if (stack.size() == 8193) throw ReferenceFailure("stack");
        stack.push_back(b);
      };
      if (prefix[code] == -1) push(base), code = old;
      while (code >= 257) {
        if (prefix[code] == -1)
          push(base), code = old;
        else
          push(suffix[code]), code = prefix[code];
      }
      base = suffix[code];
      Put(base);
      while (!stack.empty()) Put(stack.back()), stack.pop_back();
      if (next < 8192) {
        prefix[next] = static_cast<int16_t>(old);
        suffix[next] = base;
        while (next < 8192 && prefix[next] != -1) ++next;
      }
      old = saved;
    }
  }

  // ---- Reduce
  void Reduce(int f) {
    const uint32_t mask[] = {0, 0x7F, 0x3F, 0x1F, 0x0F};
    std::vector<std::vector<uint8_t>> sets(256);
    for (int v = 255; v >= 0; --v) {
      const uint32_t n = Take(6);
      if (n > 32) {
        if (eoi_) return;
        throw ReferenceFailure("set");
      }
      for (uint32_t j = 0; j < n; ++j) sets[v].push_back(static_cast<uint8_t>(Take(8)));
    }
    int state = 0;
    uint32_t last = 0, V = 0, length = 0;
    while (!eoi_ && Total() < size_) {
      const auto& set = sets[last];
      uint32_t x;
      if (set.empty() || Take(1) == 1) {
        x = Take(8);
      } else {
        int bits = 1;
        while ((1u << bits) < set.size()) ++bits;
        const uint32_t index = Take(bits);
        if (index >= set.size()) {
          if (eoi_) return;
          throw ReferenceFailure("index");
        }
        x = set[index];
      }
      last = x;
      if (eoi_) return;
      if (state == 0) {
        if (x != 144)
          Put(static_cast<uint8_t>(x));
        else
          state = 1;
      } else if (state == 1) {
        if (x == 0) {
          Put(144);
          state = 0;
        } else {
          V = x;
          length = V & mask[f];
          state = length == mask[f] ? 2 : 3;
        }
      } else if (state == 2) {
        length += x;
        state = 3;
      } else {
        const int64_t distance = ((V >> (8 - f)) & ((1u << f) - 1)) * 256 + x + 1;
        for (uint32_t k = 0; k < length + 3; ++k) {
          const int64_t i = Total() - distance;
          if (i < 0) {
            Put(0);
          } else {
            const auto u = static_cast<size_t>(i);
            Put(u < output.size() ? output[u] : pending_[u - output.size()]);
          }
        }
        state = 0;
      }
    }
  }

  // ---- Implode
  struct Entry {
    uint16_t code;
    uint8_t value, bits;
  };
  std::vector<Entry> LoadTree(int count) {
    std::vector<Entry> t(static_cast<size_t>(count), Entry{0, 0, 0});
    const uint32_t n = Take(8) + 1;
    int k = 0;
    for (uint32_t d = 0; d < n; ++d) {
      const uint32_t byte = Take(8);
      const int run = static_cast<int>(byte >> 4) + 1;
      if (k + run > count) {
        if (eoi_) return t;
        throw ReferenceFailure("tree");
      }
      for (int r = 0; r < run; ++r, ++k)
        t[k] = Entry{0, static_cast<uint8_t>(k), static_cast<uint8_t>((byte & 15) + 1)};
    }
    auto later = [](const Entry& a, const Entry& b) {  // b sorts before a
      return b.bits < a.bits || (b.bits == a.bits && b.value < a.value);
    };
    for (int gap = count / 2; gap > 0; gap /= 2) {
      bool swapped = true;
      while (swapped) {
        swapped = false;
        for (int x = 0; x <= count - 1 - gap; ++x)
          if (later(t[x], t[x + gap])) std::swap(t[x], t[x + gap]), swapped = true;
      }
    }
    uint16_t code = 0, inc = 0;
    int lastBits = 0;
    for (int i = count - 1; i >= 0; --i) {
      code = static_cast<uint16_t>(code + inc);
      if (t[i].bits != lastBits)
        lastBits = t[i].bits, inc = static_cast<uint16_t>(1u << (16 - lastBits));
      uint16_t r = 0;
      for (int b = 0; b < 16; ++b) r = static_cast<uint16_t>(r | (((code >> b) & 1) << (15 - b)));
      t[i].code = r;
    }
    return t;
  }
  uint8_t Symbol(const std::vector<Entry>& t) {
    uint32_t v = 0;
    int b = 0;
    size_t cursor = 0;
    for (;;) {
      v |= Take(1) << b;
      ++b;
      while (cursor < t.size() && t[cursor].bits < b) ++cursor;
      if (cursor >= t.size()) return 0;
      while (t[cursor].bits == b) {
        if (t[cursor].code == v) return t[cursor].value;
        if (++cursor >= t.size()) return 0;
      }
    }
  }
  void Implode(uint8_t dictionarySize, uint8_t treeCount) {
    const int dictBits = dictionarySize == 2 ? 7 : 6;
    std::vector<Entry> lit;
    if (treeCount == 3) lit = LoadTree(256);
    const auto len = LoadTree(64);
    const auto dist = LoadTree(64);
    while (!eoi_ && Total() < size_) {
      if (Take(1) == 1) {
        Put(treeCount == 3 ? Symbol(lit) : static_cast<uint8_t>(Take(8)));
        continue;
      }
      uint32_t distance = Take(dictBits);
      distance |= static_cast<uint32_t>(Symbol(dist)) << dictBits;
      int length = Symbol(len);
      if (length == 63) length += static_cast<int>(Take(8));
      length += treeCount;
      int64_t i = Total() - distance - 1;
      for (int k = 0; k < length; ++k, ++i) {
        if (i < 0) {
          Put(0);
        } else {
          Flush();
          Put(output[static_cast<size_t>(i)]);
        }
      }
    }
  }

  const std::vector<uint8_t>& data_;
  uint32_t at_;
  int32_t remaining_;
  int32_t size_;
  std::array<uint8_t, 4096> buffer_{};
  int32_t pos_ = 4097, count_ = 0;
  bool eoi_ = false;
  uint8_t cur_ = 0;
  int left_ = 0;
  std::vector<uint8_t> pending_;
  int last_ = 0;
};

}  // namespace legacy_test
