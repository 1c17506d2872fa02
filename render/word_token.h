#pragma once
// One line of text art as the renderer draws it: a singly linked list of tokens,
// each a run of code page 932 bytes or a single character given by its code point.

#include <cstddef>

namespace quarvel {

class CWordToken {
public:
    CWordToken() = default;
    virtual ~CWordToken();
    CWordToken(const CWordToken&) = delete;
    CWordToken& operator=(const CWordToken&) = delete;

    // Replaces the run with a terminated copy of `length` bytes (none when 0).
    void SetText(const char* bytes, std::size_t length);
    void SetCode(char32_t code) { m_wCode = code; }

    CWordToken* m_pNext = nullptr;
    char* m_pszText = nullptr;  // owned; null for a code-point token
    std::size_t m_nLength = 0;  // bytes in m_pszText
    char32_t m_wCode = 0;       // a full code point (up to U+10FFFF)
};

class CWordTokenList {
public:
    CWordTokenList() = default;
    virtual ~CWordTokenList();
    CWordTokenList(const CWordTokenList&) = delete;
    CWordTokenList& operator=(const CWordTokenList&) = delete;

    void AddText(const char* bytes, std::size_t length);
    void AddCode(char32_t code);

    const CWordToken* first() const { return m_head.m_pNext; }

    CWordToken m_head;  // sentinel
    CWordToken* m_pTail = &m_head;
    int m_nCount = 0;

private:
    CWordToken* append();
};

}  // namespace quarvel
