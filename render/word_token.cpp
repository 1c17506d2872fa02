#include "render/word_token.h"

#include <cstring>

namespace quarvel {

CWordToken::~CWordToken() { delete[] m_pszText; }

void CWordToken::SetText(const char* bytes, std::size_t length) {
    delete[] m_pszText;
    m_pszText = nullptr;
    m_nLength = 0;
    if (length >= 1) {
        m_pszText = new char[length + 1];
        std::memcpy(m_pszText, bytes, length);
        m_pszText[length] = '\0';
        m_nLength = length;
    }
}

CWordTokenList::~CWordTokenList() {
    CWordToken* token = m_head.m_pNext;
    while (token) {
        CWordToken* next = token->m_pNext;
        delete token;
        token = next;
    }
    m_head.m_pNext = nullptr;
}

CWordToken* CWordTokenList::append() {
    auto* token = new CWordToken;
    m_pTail->m_pNext = token;
    m_pTail = token;
    ++m_nCount;
    return token;
}

void CWordTokenList::AddText(const char* bytes, std::size_t length) { append()->SetText(bytes, length); }

void CWordTokenList::AddCode(char32_t code) { append()->SetCode(code); }

}  // namespace quarvel
