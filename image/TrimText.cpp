#include "image/TrimText.h"

char* TrimText(char* text) {
    if (text == nullptr)
        return nullptr;
    char* from = text;
    while (*from != '\0' && IsBlankByte(*from))
        ++from;
    char* to = text;
    char* endOfNonBlank = text;
    for (; *from != '\0'; ++from) {
        *to++ = *from;
        if (!IsBlankByte(*from))
            endOfNonBlank = to;
    }
    *endOfNonBlank = '\0';
    return text;
}
