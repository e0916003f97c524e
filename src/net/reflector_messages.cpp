// Reading reflector text messages, DAPNET pages and local SDS requests.
#include "net/reflector_messages.h"

#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "util/console.h"
#include "util/text.h"

namespace {

constexpr char COMMAND_MARK[] = "::";
constexpr char PAGING_NET[] = "::DAPNET";
constexpr size_t ISSI_MAX_DIGITS = 8; // 2^24 - 1 = 16777215
constexpr size_t REFUSED_SHOWN = 32;  // of a refused ISSI, enough to recognise it

// Copies at most cap of the len received bytes into text (cap + 1 bytes) and
// terminates it right after them, so nothing of an earlier datagram remains.
void received_text(const char* bytes, size_t len, char* text, size_t cap)
{
    size_t n = len < cap ? len : cap;
    if (n > 0) // an empty datagram may come without any buffer at all
        memcpy(text, bytes, n);
    text[n] = '\0';
}

// The radio user reads "TEXT", not " TEXT": senders put a blank after the
// colon. Only one blank goes; the shift moves the terminator along.
void drop_one_blank(char* text)
{
    if (text[0] == ' ')
        memmove(text, text + 1, strlen(text));
}

int personal(struct reflector_request* out, const char* issi)
{
    copy_field(out->issi, issi);
    out->kind = REFLECTOR_SDS_PERSONAL;
    return 1;
}

int group(struct reflector_request* out)
{
    out->kind = REFLECTOR_SDS_GROUP;
    return 1;
}

} // namespace

bool reflector_text_is_command(const char* text)
{
    return strncmp(text, COMMAND_MARK, strlen(COMMAND_MARK)) == 0;
}

size_t format_reply_header(char* buf, size_t size)
{
    return static_cast<size_t>(stored(snprintf(buf, size, "%s:PC:", TETRAMASTER), size));
}

int reflector_message_parse(const char* bytes, size_t len, struct reflector_request* out)
{
    out->kind = REFLECTOR_SDS_NONE;
    out->issi[0] = '\0';
    out->sbuff[0] = '\0';

    char text[REFLECTOR_BUFFER_SIZE + 1];
    received_text(bytes, len, text, REFLECTOR_BUFFER_SIZE);
    if (!reflector_text_is_command(text))
        return 0;

    // "::NET;FROM;KIND:ISSI:TEXT;": only the first three ";" fields count.
    struct split spline = split(text, ';');
    if (spline.count < 3)
        return 0; // no third field: nothing to send
    const char* f1 = spline.pointers[0];
    const char* f2 = spline.pointers[1];
    struct split seline = split(spline.pointers[2], ':');
    const char* s1 = seline.pointers[0];
    const char* s2 = seline.count > 1 ? seline.pointers[1] : nullptr;
    char* s3 = seline.count > 2 ? seline.pointers[2] : nullptr;
    if (s3)
        drop_one_blank(s3);

    if (strcmp(f1, PAGING_NET) == 0) {
        if (strcmp(s1, "GC") == 0 && s2) {
            snprintf(out->sbuff, sizeof out->sbuff, "DAPNET %s:\r%s", f2, s2);
            return group(out);
        }
        if (strcmp(s1, "PC") == 0 && s3) {
            snprintf(out->sbuff, sizeof out->sbuff, "DAPNET %s:\r%s", f2, s3);
            return personal(out, s2);
        }
        return 0;
    }
    // Reflector text message: the kind field is not looked at.
    if (!s3)
        return 0;
    char header[REPLY_HEADER_SIZE];
    format_reply_header(header, sizeof header);
    snprintf(out->sbuff, sizeof out->sbuff, "%s\r%s:%s", header, f2, s3);
    return personal(out, s2);
}

void local_request_parse(const char* bytes, size_t len, struct local_request* out)
{
    char text[SMS_SENDER_BUFFER_SIZE + 1];
    received_text(bytes, len, text, SMS_SENDER_BUFFER_SIZE);
    snprintf(out->call_id_nr, sizeof out->call_id_nr, "%-7.7s", text);
    size_t n = strlen(text);
    copy_field(out->call_message, n > LOCAL_ISSI_WIDTH ? text + LOCAL_ISSI_WIDTH : "");
}

bool issi_is_identity(const char* issi, bool padded)
{
    size_t digits = strspn(issi, "0123456789");
    if (digits == 0 || digits > ISSI_MAX_DIGITS)
        return false;
    const char* rest = issi + digits;
    return padded ? rest[strspn(rest, " ")] == '\0' : *rest == '\0';
}

int issi_accepted(const char* issi, bool padded)
{
    if (issi_is_identity(issi, padded))
        return 1;
    char shown[REFUSED_SHOWN + 1];
    size_t n = 0;
    for (; n < REFUSED_SHOWN && issi[n]; n++) {
        unsigned char c = static_cast<unsigned char>(issi[n]);
        shown[n] = c < ' ' || c >= 0x7f ? '?' : issi[n];
    }
    shown[n] = '\0';
    log_refusal("SDS refused: ISSI \"%s\" is not 1 to 8 digits\n", shown);
    return 0;
}
