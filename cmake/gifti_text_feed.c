/* The feeding of a file's bytes to the XML parser, inserted into gifticlib's
 * gifti_xml.c by PatchGifticlib.cmake (it uses the library's own state and
 * character handler).
 *
 * Most of a GIFTI file is the text of its Data elements, and a parser looks
 * at that text a character at a time. Where the text is plain (Base64 or
 * ASCII numbers, blanks, tabs and line ends: characters the parser would hand
 * on unchanged), it goes to the library's character handler directly, as the
 * parser would have given it; the parser is given only its line ends, in a
 * comment, so that the line numbers of its messages stay right. Anything
 * else ("<", a reference, "]", control or non-ASCII characters) ends the
 * direct path, and the parser reads on from there. The direct path starts
 * only where the parser has just read a Data start tag and holds nothing
 * unread: the tag's last byte is the last it was given. */

static XML_Parser gii_feed_parser = NULL;  /* the parser of the read in progress */
/* Byte counts are kept in the width of the parser's own (32 bits on some
   systems), where they wrap as the parser's do. */
static XML_Size   gii_fed = 0;             /* the bytes it was given */
static int        gii_text_opened = 0;     /* a Data start tag was just read ... */
static XML_Size   gii_text_at = 0;         /* ... and its text starts here */
static int        gii_in_text = 0;         /* the bytes now read are such text, past the parser */
static int        gii_after_cr = 0;        /* that text so far ends in CR */
static char     * gii_lines = NULL;        /* "<!--", line ends, "-->" */
static long long  gii_lines_room = 0;

static void gii_feed_start(XML_Parser parser)
{
    gii_feed_parser = parser;
    gii_fed = 0;
    gii_text_opened = 0;
    gii_in_text = 0;
    gii_after_cr = 0;
}

static void gii_feed_end(void)
{
    gii_feed_parser = NULL;
    free(gii_lines);
    gii_lines = NULL;
    gii_lines_room = 0;
}

/* from the start and end handlers: a Data start tag just read, or its end */
static void gii_feed_note_data(int opened)
{
    if( !gii_feed_parser ) return;
    gii_text_opened = opened;
    if( opened ) gii_text_at = (XML_Size)XML_GetCurrentByteIndex(gii_feed_parser)
                               + (XML_Size)XML_GetCurrentByteCount(gii_feed_parser);
}

static enum XML_Status gii_parse(XML_Parser parser, const char * bytes, long long len, int final)
{
    gii_fed += (XML_Size)len;
    return XML_Parse(parser, bytes, (int)len, final);
}

/* The end of the next "<Data>" (or "<Data" with attributes) start tag in
   `bytes`: the byte after its ">", or NULL. */
static const char * gii_after_data_tag(const char * bytes, long long len)
{
    const char * at = bytes, * end = bytes + len;
    while( at < end ) {
        const char * lt = memchr(at, '<', (size_t)(end - at));
        if( !lt || end - lt < 6 ) return NULL;
        if( memcmp(lt, "<Data", 5) == 0 && (lt[5] == '>' || lt[5] == ' ' || lt[5] == '\t' ||
                                            lt[5] == '\n' || lt[5] == '\r') ) {
            const char * gt = memchr(lt + 5, '>', (size_t)(end - lt - 5));
            return gt ? gt + 1 : NULL;
        }
        at = lt + 1;
    }
    return NULL;
}

/* Room for the comment of line ends of up to `len` bytes of text; 0 when
   memory is short (the parser then reads the text). */
static int gii_lines_fit(long long len)
{
    if( len + 7 > gii_lines_room ) {
        char * more = (char *)realloc(gii_lines, (size_t)(len + 7));
        if( !more ) return 0;
        gii_lines = more;
        gii_lines_room = len + 7;
    }
    return 1;
}

static enum XML_Status gii_parse_lines(XML_Parser parser, long long lines)
{
    if( lines <= 0 ) return XML_STATUS_OK;
    memcpy(gii_lines, "<!--", 4);
    memset(gii_lines + 4, '\n', (size_t)lines);
    memcpy(gii_lines + 4 + lines, "-->", 3);
    return gii_parse(parser, gii_lines, lines + 7, 0);
}

/* Reads `len` more bytes of the file; `final` for the last. */
static enum XML_Status gii_feed(XML_Parser parser, gxml_data * xd, const char * bytes, long long len, int final)
{
    long long at = 0;
    while( at < len ) {
        if( gii_in_text && gii_lines_fit(len - at) ) {
            long long lines = 0;
            long long plain = meshbridge_xml_plain_text(bytes + at, len - at, &lines, &gii_after_cr);
            if( plain > 0 ) {
                cb_char(xd, bytes + at, (int)plain);
                if( gii_parse_lines(parser, lines) != XML_STATUS_OK ) return XML_STATUS_ERROR;
                at += plain;
            }
            if( at < len ) gii_in_text = 0;  /* markup, or a character the parser checks */
            continue;
        }
        gii_in_text = 0;
        {
            const char * tag_end = gii_after_data_tag(bytes + at, len - at);
            const long long upto = tag_end ? (long long)(tag_end - bytes) : len;
            gii_text_opened = 0;
            if( gii_parse(parser, bytes + at, upto - at, 0) != XML_STATUS_OK ) return XML_STATUS_ERROR;
            at = upto;
            if( tag_end && gii_text_opened && gii_text_at == gii_fed ) {  /* the parser holds nothing unread */
                gii_in_text = 1;
                gii_after_cr = 0;
            }
        }
    }
    return final ? gii_parse(parser, "", 0, 1) : XML_STATUS_OK;
}

