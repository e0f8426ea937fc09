# cmake -DSOURCE=<gifticlib source> -DOUT=<folder> -P PatchGifticlib.cmake
#
# Copies gifticlib's gifti_io.c and gifti_xml.c into OUT with these changes:
#  1. Three intents are appended to the intent table, so that the library
#     writes and reads them by name:
#       1015 NIFTI_INTENT_RETINOTOPY_POLAR
#       1016 NIFTI_INTENT_RETINOTOPY_ECCENTRICITY
#       1017 NIFTI_INTENT_RETINOTOPY_FIELD_SIGN
#  2. ASCII data arrays of floating-point values and the colours of label
#     tables are written with as many digits as their type needs to read back
#     to the same value ("%.9g" for float32, "%.17g" for float64) instead of
#     six decimals or six digits, which lose the low bits of small coordinates
#     and turn a colour byte of 127 into 126.99995.
#     Rows of complex and RGB values start where they are (row r of complex
#     data started at float r*cols, so later pairs were shifted and half the
#     data was never written).
#  3. A data array whose data ends early, holds bad base64 characters or does
#     not decompress to its announced size loses its data (the pointer is left
#     null) instead of keeping zeros in place of the missing values, so that
#     readers can refuse it.
#  4. GIFTI files are read and written as bytes ("rb", "wb"), so that a file
#     written on Windows has the same bytes as one written elsewhere.
#  5. A MetaData element in a place where none belongs is refused instead of
#     being followed through a null pointer (found by fuzzing).
#  6. An element that cannot be taken in (such as a DataArray with attributes
#     that make no sense, or an element inside a parent where it does not
#     belong, which was only reported) is skipped with everything inside it,
#     instead of its children being applied to a data array that does not
#     exist (found by fuzzing), and a file with such errors is not read at all.
#  7. Text inside an element that has no place for it is ignored instead of
#     being appended through a null pointer, and the end of an element inside
#     a skipped one does nothing (it finished data arrays that did not exist;
#     both found by fuzzing).
#  8. A metadata name or value, a coordinate space or the data of an array,
#     given twice, replaces the first instead of leaking it (found by fuzzing).
#  9. A label without a colour in a table whose labels have colours gets
#     transparent black, so that the table holds a colour for every label
#     (it held fewer, and readers of the colours read past them; found by
#     fuzzing); so do the labels before the first that has a colour (the
#     table dropped every colour when the first label had none).
# 10. Elements nested deeper than the element stack holds make the file
#     refused; what lies deeper is only counted, so that the ends of the
#     elements balance (the depth went negative and the stack was read out of
#     its bounds).
# 11. ASCII data (of a data array, and the numbers of a MatrixData) is read
#     by the plug-in's reader (meshbridge_ascii_open in common/gifti_codecs.h),
#     which keeps the start of a number that a piece of text ends in until the
#     next piece: the library's own took such a start ("-", ".", "in") for the
#     previous number read again, so that a number split at a buffer boundary
#     or by a character reference overwrote the one before it. A word that is
#     not a number of the array's type, or more numbers than its dimensions
#     give, is an error (the surplus was dropped); UINT32 and UINT64 data are
#     read (they were left as zeros), complex values as their pairs of numbers
#     (they could not be read at all). A MatrixData without its 16 numbers
#     makes the file refused.
# 12. A write counts only if every byte reached the file: a failed write,
#     flush or close makes gifti_write_image return an error (they were
#     ignored, so a full disk gave a truncated file and success).
# 13. Base64 data may hold blanks, tabs and line ends anywhere (lines of 76
#     characters, a line end before "</Data>"), as other readers take it;
#     they are skipped, and only other characters outside the alphabet make
#     the data refused. The characters of a piece of text left over for the
#     next (up to three) are taken from the end of what the piece gave, not
#     from where they would stand had nothing been skipped (the library
#     carried the wrong characters wherever skipped characters left a piece
#     of a length that is no multiple of four). A CDATA section inside Data
#     is read as its text.
# 14. A text that holds "]]>" is written escaped ("]]&gt;"), without a CDATA
#     section, so that it cannot end the section early; readers that split
#     nothing read it back exactly. A text read from CDATA sections that
#     follow each other (as earlier versions wrote such texts) is read whole
#     (the text of every section after the first was dropped).
# 15. GIFTI files are read through zlib, so that gzip-compressed files
#     (".gii.gz", as nibabel writes them) are read as well as plain ones.
# 16. The data paths go through the plug-in's own code (common/gifti_codecs.h):
#     Base64 and ASCII writing, Base64 reading (the characters kept, and
#     the blocks decoded, several at a time), zlib compression and
#     inflation, and the parsing of ASCII numbers; the bytes written and read
#     are the same, only the
#     compressed stream may differ (it inflates to the same bytes).
# 17. A data array whose size is more than the file could hold (its text:
#     a byte per Base64 byte, one number per two bytes of ASCII; or its
#     compressed data at deflate's largest ratio, 1032:1) is refused
#     before anything is allocated for it (a 24 KB file asked for 51 GB; found
#     by fuzzing), and the size of its compressed data is kept in 64 bits.
# 18. Large data buffers are advised to be backed by huge pages before they are
#     first written (common/huge_pages.h): fewer page faults, the same bytes.
# 19. What the library prints on stderr is also kept by the plug-in
#     (meshbridge_gifti_fprintf), so that the reason a file was refused can
#     reach the host's log; a data array that loses its data says how much
#     of it there was.
# 20. The plain text of Data elements (Base64 or ASCII numbers, blanks, tabs
#     and line ends) goes from the file's bytes to the library's character
#     handler directly, as the parser would hand it on, instead of through the
#     parser a character at a time; the parser still reads all the rest and
#     counts the lines (cmake/gifti_text_feed.c).
# 21. The text of a name, value, label or coordinate space grows by doubling
#     its room instead of by exactly each piece the parser hands over, so that
#     a long text in many lines is copied a few times, not once a line (a
#     38 MB metadata value of a million lines took 26 s to read on Windows);
#     a text that would pass 1 GB makes the file refused instead of
#     overflowing the library's int length (so does a text whose room cannot
#     be had, which lost what it held).

function(replace_once text_var from to what)
  string(FIND "${${text_var}}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "gifticlib: ${what} was not found; the source differs from the expected release")
  endif()
  string(REPLACE "${from}" "${to}" result "${${text_var}}")
  set(${text_var} "${result}" PARENT_SCOPE)
endfunction()

function(write_if_changed path content)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE "${path}.tmp" "${content}")
  file(RENAME "${path}.tmp" "${path}")
endfunction()

file(MAKE_DIRECTORY "${OUT}")

# 1. The intent table, whose last entry is NIFTI_INTENT_SHAPE.
file(READ "${SOURCE}/gifti_io.c" io)
string(REGEX MATCH "\\{[ \t]*NIFTI_INTENT_SHAPE[ \t]*,[ \t]*\"NIFTI_INTENT_SHAPE\"[ \t]*\\}" anchor "${io}")
if(NOT anchor)
  message(FATAL_ERROR "gifticlib: the intent table's NIFTI_INTENT_SHAPE entry was not found")
endif()
replace_once(io "${anchor}"
  "${anchor},\n    { 1015, \"NIFTI_INTENT_RETINOTOPY_POLAR\" },\n    { 1016, \"NIFTI_INTENT_RETINOTOPY_ECCENTRICITY\" },\n    { 1017, \"NIFTI_INTENT_RETINOTOPY_FIELD_SIGN\" }"
  "the intent table")
# 18. Huge pages for the data arrays made for writing.
replace_once(io "#include \"gifti_io.h\"\n"
  "#include \"gifti_io.h\"\n#include \"common/huge_pages.h\"\n" "the includes of gifti_io.c")
replace_once(io
  "        da->data = calloc(nbytes, sizeof(char));\n        if( !da->data ) {\n            fprintf(stderr,\"** gifti_alloc_DA_data: failed"
  "        da->data = calloc(nbytes, sizeof(char));\n        meshbridge_advise_huge_pages(da->data, nbytes);\n        if( !da->data ) {\n            fprintf(stderr,\"** gifti_alloc_DA_data: failed"
  "the allocation of a data array to write")
# 19. What the library prints on stderr is kept.
replace_once(io "#include \"common/huge_pages.h\"\n"
  "#include \"common/huge_pages.h\"\n#include \"common/gifti_codecs.h\"\n#define fprintf meshbridge_gifti_fprintf\n"
  "the includes of gifti_io.c")
# 23. An Encoding that is none of the four is kept, to be named when the
# array's data cannot be read.
replace_once(io
  "    else if( !strcmp(attr, \"Encoding\") ) \n        DA->encoding = gifti_str2encoding(value);"
  "    else if( !strcmp(attr, \"Encoding\") ) {\n        DA->encoding = gifti_str2encoding(value);\n        if( DA->encoding <= GIFTI_ENCODING_UNDEF ) gifti_add_to_nvpairs(&DA->ex_atrs, \"Encoding\", value);\n    }"
  "the Encoding attribute")
write_if_changed("${OUT}/gifti_io.c" "${io}")

# 2. Digits of ASCII floating-point data.
file(READ "${SOURCE}/gifti_xml.c" xml)
replace_once(xml
  "float * ptr = (float *)data + row * cols;\n            for( c = 0; c < cols; c++ ) fprintf(fp, \"%f \", ptr[c]);"
  "float * ptr = (float *)data + row * cols;\n            for( c = 0; c < cols; c++ ) fprintf(fp, \"%.9g \", ptr[c]);"
  "the ASCII writer of float32 values")
replace_once(xml
  "double * ptr = (double *)data + row * cols;\n            for( c = 0; c < cols; c++ ) fprintf(fp, \"%f \", ptr[c]);"
  "double * ptr = (double *)data + row * cols;\n            for( c = 0; c < cols; c++ ) fprintf(fp, \"%.17g \", ptr[c]);"
  "the ASCII writer of float64 values")
replace_once(xml
  "        case NIFTI_TYPE_COMPLEX64: {\n            float * ptr = (float *)data + row * cols;\n            for(c = 0; c < 2*cols; c+=2)fprintf(fp, \"%f %f   \",ptr[c],ptr[c+1]);"
  "        case NIFTI_TYPE_COMPLEX64: {\n            float * ptr = (float *)data + 2 * row * cols;\n            for(c = 0; c < 2*cols; c+=2)fprintf(fp, \"%.9g %.9g   \",ptr[c],ptr[c+1]);"
  "the ASCII writer of complex64 values")
replace_once(xml
  "        case NIFTI_TYPE_COMPLEX128: {\n            double * ptr = (double *)data + row * cols;\n            for(c = 0; c < 2*cols; c+=2)fprintf(fp, \"%f %f   \",ptr[c],ptr[c+1]);"
  "        case NIFTI_TYPE_COMPLEX128: {\n            double * ptr = (double *)data + 2 * row * cols;\n            for(c = 0; c < 2*cols; c+=2)fprintf(fp, \"%.17g %.17g   \",ptr[c],ptr[c+1]);"
  "the ASCII writer of complex128 values")
replace_once(xml
  "            long double * ptr = (long double *)data + row * cols;\n            for(c = 0; c<2*cols; c+=2)"
  "            long double * ptr = (long double *)data + 2 * row * cols;\n            for(c = 0; c<2*cols; c+=2)"
  "the ASCII writer of complex256 values")
replace_once(xml
  "            unsigned char * ptr = (unsigned char *)data + row * cols;\n            for( c = 0; c < 3*cols; c+=3 )"
  "            unsigned char * ptr = (unsigned char *)data + 3 * row * cols;\n            for( c = 0; c < 3*cols; c+=3 )"
  "the ASCII writer of RGB values")
replace_once(xml
  "\" Red=\\\"%g\\\" Green=\\\"%g\\\" Blue=\\\"%g\\\" Alpha=\\\"%g\\\"\""
  "\" Red=\\\"%.9g\\\" Green=\\\"%.9g\\\" Blue=\\\"%.9g\\\" Alpha=\\\"%.9g\\\"\""
  "the writer of label colours")
# 3. Incomplete data.
replace_once(xml
  "    if( !da ) return 1;\n\n    /* check for and clear any b64 errors */\n"
  "    if( !da ) return 1;\n\n    /* incomplete inline data: drop it rather than keep zeros for values */\n    if( da->data && !(da->ext_fname && *da->ext_fname) &&\n        ( xd->b64_errors > 0 ||\n          (da->encoding == GIFTI_ENCODING_ASCII  && xd->dind != da->nvals * GII_ASCII_NUMBERS(da->datatype)) ||\n          (da->encoding == GIFTI_ENCODING_B64BIN && xd->dind != da->nvals*da->nbyper) ) ) {\n        if( xd->b64_errors == 0 && da->encoding == GIFTI_ENCODING_ASCII )\n            fprintf(stderr,\"** DataArray[%d] holds %lld of its %lld ASCII numbers\\n\", xd->gim->numDA-1,\n                    xd->dind, da->nvals * GII_ASCII_NUMBERS(da->datatype));\n        else if( xd->b64_errors == 0 )\n            fprintf(stderr,\"** DataArray[%d]: its Base64 data gives %lld of its %lld bytes\\n\", xd->gim->numDA-1,\n                    xd->dind, da->nvals*da->nbyper);\n        free(da->data);\n        da->data = NULL;\n    }\n\n    /* check for and clear any b64 errors */\n"
  "the end of a data array")
replace_once(xml
  "                    olen, da->nvals*da->nbyper);\n        }\n#endif"
  "                    olen, da->nvals*da->nbyper);\n        }\n        if( rv != Z_OK || olen != da->nvals*da->nbyper ) {\n            free(da->data);\n            da->data = NULL;\n        }\n#endif"
  "the decompression of a data array")
# 4. Bytes, not text.
replace_once(xml "fp = fopen(fname, \"r\");" "fp = fopen(fname, \"rb\");" "the opening of a file to read")
replace_once(xml "fp = fopen(fname, \"w\");" "fp = fopen(fname, \"wb\");" "the opening of a file to write")
# 5. Misplaced metadata.
replace_once(xml
  "    giiMetaData * md = find_current_MetaData(xd, 0);\n\n    if( md->length != 0"
  "    giiMetaData * md = find_current_MetaData(xd, 0);\n\n    if( !md ) return 1;\n    if( md->length != 0"
  "the start of a MetaData element")
# 6. Elements that cannot be taken in.
replace_once(xml
  "static int epush( gxml_data * xd, int etype, const char * ename,\n                                                  const char ** attr )\n{"
  "static int epush_one( gxml_data * xd, int etype, const char * ename,\n                                                  const char ** attr );\n\n/* an element that fails is skipped whole, and counts as an error */\nstatic int epush( gxml_data * xd, int etype, const char * ename,\n                                                  const char ** attr )\n{\n    int skipping = xd ? xd->skip : 0;\n    int rv = epush_one(xd, etype, ename, attr);\n    if( rv && xd && !skipping && !xd->skip ) {\n        xd->skip = xd->depth;\n        xd->errors++;\n    }\n    return rv;\n}\n\nstatic int epush_one( gxml_data * xd, int etype, const char * ename,\n                                                  const char ** attr )\n{"
  "the start of an element")
replace_once(xml
  "if( (!valid || bad_parent) && GXD.verb > 1 ) show_stack(\"** invalid \", xd);\n\n    return valid;"
  "if( (!valid || bad_parent) && GXD.verb > 1 ) show_stack(\"** invalid \", xd);\n\n    return valid && !bad_parent;"
  "the check of an element's parent")
replace_once(xml
  "    fclose(fp);\n    if( buf ) free(buf);        /* parser buffer */"
  "    if( xd->gim && xd->errors ) {\n        fprintf(stderr,\"** %d errors in GIFTI file '%s'\\n\", xd->errors, fname);\n        gifti_free_image(xd->gim);\n        xd->gim = NULL;\n    }\n\n    fclose(fp);\n    if( buf ) free(buf);        /* parser buffer */"
  "the end of a read")
# 7. Text without a place.
replace_once(xml
  "    int offset;\n    if( !xd || !cdata || len <= 0 ) {"
  "    int offset;\n    if( xd && !xd->cdata ) return 0;  /* no place for this text */\n    if( !xd || !cdata || len <= 0 ) {"
  "the start of append_to_cdata")
replace_once(xml
  "    } else {    /* may peform pop action for this element */"
  "    } else if( !xd->skip ) {    /* may peform pop action for this element */"
  "the end of an element")
# 8. Texts given twice.
foreach(anchor "&md->name[md->length-1];  /* use cdata to fill */" "&md->value[md->length-1];  /* use cdata to fill */"
               "->coordsys[CSind]->dataspace;" "->coordsys[CSind]->xformspace;")
  replace_once(xml "${anchor}\n    *xd->cdata = NULL;"
    "${anchor}\n    free(*xd->cdata);  /* a text given twice replaces the first */\n    *xd->cdata = NULL;"
    "the start of a text element")
endforeach()
replace_once(xml "    da->data = calloc(da->nvals, da->nbyper);\n    if( ! da->data ) {\n        fprintf(stderr,\"** PD:"
  "    free(da->data);  /* data given twice: the last counts */\n    da->data = calloc(da->nvals, da->nbyper);\n    if( ! da->data ) {\n        fprintf(stderr,\"** PD:"
  "the allocation of a data array's values")
# 9. A colour for every label.
replace_once(xml "    xd->cdata = lt->label + (lt->length-1); /* addr of newest (char *) */"
  "    if( lt->rgba && !(attr && rv == 2) ) {  /* no colour: transparent black */\n        float * grown = (float *)realloc(lt->rgba, lt->length * 4 * sizeof(float));\n        if( !grown ) return 1;\n        lt->rgba = grown;\n        memset(lt->rgba + 4*(lt->length-1), 0, 4*sizeof(float));\n    }\n\n    xd->cdata = lt->label + (lt->length-1); /* addr of newest (char *) */"
  "the end of a label")
replace_once(xml
  "    if( lt->length > 1 && !lt->rgba ) {\n        fprintf(stderr,\"** first RGBA at Label %d, so table is incomplete\\n\",\n                       lt->length-1);\n        return 1;\n    }\n\n    lt->rgba = (float *)realloc(lt->rgba, lt->length * 4 * sizeof(float));"
  "    if( lt->length > 1 && !lt->rgba ) {  /* the labels before it: transparent black */\n        lt->rgba = (float *)calloc(lt->length * 4, sizeof(float));\n        if( !lt->rgba ) return 1;\n    }\n\n    lt->rgba = (float *)realloc(lt->rgba, lt->length * 4 * sizeof(float));"
  "the first colour of a label table")
# 10. Nesting deeper than the stack.
replace_once(xml
  "    if( xd->depth < 0 || xd->depth > GXML_MAX_DEPTH ) {\n        fprintf(stderr,\"** push: stack depth %d out of [0,%d] range\\n\",\n                xd->depth, GXML_MAX_DEPTH);\n        xd->errors++;\n        return 1;\n    }"
  "    if( xd->depth > GXML_MAX_DEPTH ) {  /* too deep: refused, and only counted */\n        if( xd->depth == GXML_MAX_DEPTH + 1 )\n            fprintf(stderr,\"** push: elements nested deeper than %d\\n\", GXML_MAX_DEPTH);\n        if( !xd->skip ) xd->skip = xd->depth + 1;\n        xd->errors++;\n        xd->depth++;\n        return 1;\n    }\n    if( xd->depth < 0 ) {\n        fprintf(stderr,\"** push: stack depth %d out of range\\n\", xd->depth);\n        xd->errors++;\n        return 1;\n    }"
  "the stack check of a push")
replace_once(xml
  "    if( xd->depth < 0 || xd->depth > GXML_MAX_DEPTH ) {\n        fprintf(stderr,\"** pop: stack depth %d out of [0,%d] range\\n\","
  "    if( xd->depth < 0 ) {\n        fprintf(stderr,\"** pop: stack depth %d out of [0,%d] range\\n\","
  "the stack check of a pop")
# 11. ASCII numbers through the plug-in's reader.
replace_once(xml
  "/* this must go to the data of the latest darray struct */\nstatic int append_to_data(gxml_data * xd, const char * cdata, int len)\n{"
  "/* the count of numbers read, or -1 when they could not be read */\nstatic long long gii_close_ascii(void)\n{\n    long long count = gii_ascii ? meshbridge_ascii_close(gii_ascii) : -1;\n    gii_ascii = NULL;\n    return count;\n}\n\n/* a reader whose array may be gone stores nothing more */\nstatic void gii_drop_ascii(void)\n{\n    meshbridge_ascii_free(gii_ascii);\n    gii_ascii = NULL;\n}\n\nstatic int gii_open_ascii(gxml_data * xd, int type, void * data, long long numbers)\n{\n    gii_drop_ascii();\n    if( type == NIFTI_TYPE_COMPLEX64 ) type = NIFTI_TYPE_FLOAT32;\n    else if( type == NIFTI_TYPE_COMPLEX128 ) type = NIFTI_TYPE_FLOAT64;\n    gii_ascii = meshbridge_ascii_open(type, data, numbers, xd->gim->numDA-1);\n    if( !gii_ascii ) {\n        fprintf(stderr,\"** DataArray[%d]: ASCII data of type %s cannot be read\\n\",\n                xd->gim->numDA-1, gifti_datatype2str(type));\n        return 1;\n    }\n    return 0;\n}\n\nstatic int gii_append_ascii(gxml_data * xd, const char * cdata, int len)\n{\n    if( !gii_ascii || meshbridge_ascii_feed(gii_ascii, cdata, len) != 0 ) {\n        xd->b64_errors++;  /* the data array loses its data */\n        return 1;\n    }\n    return 0;\n}\n\n/* this must go to the data of the latest darray struct */\nstatic int append_to_data(gxml_data * xd, const char * cdata, int len)\n{"
  "the start of append_to_data")
replace_once(xml "static int  append_to_cdata     (gxml_data *, const char *, int);"
  "static int  append_to_cdata     (gxml_data *, const char *, int);\n\n/* the reader of the ASCII numbers of the current Data or MatrixData */\nstatic meshbridge_ascii_reader * gii_ascii = NULL;\nstatic long long gii_close_ascii(void);\nstatic void gii_drop_ascii(void);\nstatic int gii_open_ascii(gxml_data *, int, void *, long long);"
  "the declarations at the top")
replace_once(xml "            return append_to_data_ascii(xd, cdata, len);"
  "            return gii_append_ascii(xd, cdata, len);" "the ASCII case of append_to_data")
replace_once(xml "            (void)append_to_xform(xd, cdata, length);"
  "            if( gii_ascii ) (void)meshbridge_ascii_feed(gii_ascii, cdata, length);" "the text of a MatrixData")
replace_once(xml
  "    } else if ( xd->verb > 3 )\n        fprintf(stderr,\"++ PD: alloc %lld bytes for darray[%d]\\n\",\n                da->nvals*da->nbyper, xd->gim->numDA-1);\n\n    return 0;\n}"
  "    } else if ( xd->verb > 3 )\n        fprintf(stderr,\"++ PD: alloc %lld bytes for darray[%d]\\n\",\n                da->nvals*da->nbyper, xd->gim->numDA-1);\n\n    if( da->encoding == GIFTI_ENCODING_ASCII &&\n        gii_open_ascii(xd, da->datatype, da->data, da->nvals * GII_ASCII_NUMBERS(da->datatype)) )\n        xd->b64_errors++;\n\n    return 0;\n}"
  "the end of push_data")
replace_once(xml
  "    xd->dind = 0;       /* init for filling */\n    xd->doff = 0;\n\n    return 0;\n}\n\nstatic int epop("
  "    xd->dind = 0;       /* init for filling */\n    xd->doff = 0;\n\n    if( gii_open_ascii(xd, NIFTI_TYPE_FLOAT64, da->coordsys[CSind]->xform, 16) ) return 1;\n\n    return 0;\n}\n\nstatic int epop("
  "the end of push_xform")
replace_once(xml
  "static int push_xform(gxml_data * xd)\n{\n    int CSind = xd->gim->darray[xd->gim->numDA-1]->numCS-1;"
  "static int push_xform(gxml_data * xd)\n{\n    giiDataArray * da = xd->gim->darray[xd->gim->numDA-1];\n    int CSind = xd->gim->darray[xd->gim->numDA-1]->numCS-1;"
  "the start of push_xform")
replace_once(xml
  "            case GXML_ETYPE_DATA : \n                if(xd->verb>3)fprintf(stderr,\"-- data dind = %lld\\n\",xd->dind);"
  "            case GXML_ETYPE_MATRIXDATA : {\n                long long numbers = gii_close_ascii();\n                if( numbers != 16 ) {\n                    if( numbers >= 0 )\n                        fprintf(stderr,\"** MatrixData of DataArray[%d] holds %lld of its 16 numbers\\n\",\n                                xd->gim->numDA-1, numbers);\n                    xd->errors++;\n                }\n                break;\n            }\n            case GXML_ETYPE_DATA : \n                if( gii_ascii ) {\n                    long long numbers = gii_close_ascii();\n                    if( numbers < 0 ) xd->b64_errors++;\n                    else              xd->dind = numbers;\n                }\n                if(xd->verb>3)fprintf(stderr,\"-- data dind = %lld\\n\",xd->dind);"
  "the end of a Data element")
replace_once(xml
  "    if( xd->b64_errors > 0 ) {\n        if( xd->b64_check == GIFTI_B64_CHECK_DETECT )"
  "    if( xd->b64_errors > 0 ) {\n        if( da->encoding == GIFTI_ENCODING_ASCII || gii_b64_said )\n            ;  /* its reader, or the Base64 decoding, has said why */\n        else if( xd->b64_check == GIFTI_B64_CHECK_DETECT )"
  "the message of bad Base64 characters")
replace_once(xml
  "                    xd->b64_errors, xd->gim->numDA-1);\n        xd->b64_errors = 0;\n    }"
  "                    xd->b64_errors, xd->gim->numDA-1);\n        xd->b64_errors = 0;\n        gii_b64_said = 0;\n    }"
  "the end of the Base64 message")
# 12. Failed writes.
replace_once(xml
  "    (void)gxml_write_gifti(xd, fp);\n\n    if( xd->xdata ){ free(xd->xdata);  xd->xdata = NULL; }\n    if( xd->zdata) { free(xd->zdata);  xd->zdata = NULL; }\n\n    fclose(fp);\n\n    return 0;"
  "    (void)gxml_write_gifti(xd, fp);\n\n    if( xd->xdata ){ free(xd->xdata);  xd->xdata = NULL; }\n    if( xd->zdata) { free(xd->zdata);  xd->zdata = NULL; }\n\n    {   /* every byte must have reached the file */\n        int failed = fflush(fp) != 0 || ferror(fp);\n        if( fclose(fp) != 0 ) failed = 1;\n        if( failed ) {\n            fprintf(stderr,\"** failed to write all of '%s'\\n\", fname);\n            return 1;\n        }\n    }\n\n    return 0;"
  "the end of a write")
# 13. ASCII complex data.
replace_once(xml "#define GXML_MIN_BSIZE 2048"
  "#define GXML_MIN_BSIZE 2048\n\n/* numbers in the ASCII text of one value: a complex value is a pair */\n#define GII_ASCII_NUMBERS(type) (((type) == NIFTI_TYPE_COMPLEX64 || (type) == NIFTI_TYPE_COMPLEX128) ? 2 : 1)"
  "the definitions at the top")
# 13. Blanks in Base64 data; CDATA inside Data.
replace_once(xml "    int            copy_len, apply_len, unused;"
  "    int            copy_len, apply_len, unused, filled;" "the declarations of append_to_data_b64")
replace_once(xml
  "        xd->doff = decode_b64(xd,\n                        xd->ddata,              /* data source */\n                        xd->doff+apply_len,     /* data length */"
  "        filled = xd->doff+apply_len;  /* what the buffer holds, skipped characters left out */\n        xd->doff = decode_b64(xd,\n                        xd->ddata,              /* data source */\n                        filled,                 /* data length */"
  "the Base64 decoding of a piece")
replace_once(xml
  "            memmove(xd->ddata, xd->ddata+xd->dlen -(unused+1) - xd->doff,\n                    xd->doff);\n            if( xd->verb > 6 )\n                fprintf(stderr,\"   bytes are '%.*s'\\n\",xd->doff,\n                        (char *)xd->ddata);\n        }\n\n        /* adjust remaining bytes for next time */\n        rem_bytes_in -= copy_len;  /* more than apply_len, if bad chars */"
  "            memmove(xd->ddata, xd->ddata + filled - xd->doff, xd->doff);\n            if( xd->verb > 6 )\n                fprintf(stderr,\"   bytes are '%.*s'\\n\",xd->doff,\n                        (char *)xd->ddata);\n        }\n\n        /* adjust remaining bytes for next time */\n        rem_bytes_in -= copy_len;  /* more than apply_len, if bad chars */"
  "the characters of Base64 data carried to the next piece")
replace_once(xml
  "            apply_len = 0;\n            for(c = 0; c < src_len; c++){\n                if( b64_decode_table[usrc[c]] == (unsigned char)0x80 )\n                    errs++;\n                else \n                    dest[apply_len++] = src[c];\n            }"
  "            apply_len = meshbridge_base64_compact(src, src_len, dest, &errs);"
  "the Base64 check that skips and counts")
# Its Base64 decoding, four characters at a time into a local count (the
# count behind a pointer had to be read and written again after every byte
# stored, as the bytes might have been it).
replace_once(xml
  "    for( ind = 0; ind < blocks && *needed >= 3; ind++, *needed -= 3 ){\n        GII_B64_decode4(din[0],din[1],din[2],din[3], dout[0],dout[1],dout[2]);\n\n        din  += 4;\n        dout += 3;\n    }"
  "    ind = *needed / 3 < blocks ? (int)(*needed / 3) : blocks;\n    padded = meshbridge_base64_decode_blocks(din, ind, dout,\n        xd->gim->darray[xd->gim->numDA-1]->encoding == GIFTI_ENCODING_B64GZ);\n    if( padded >= 0 ) {  /* zero bits would shift every later value */\n        fprintf(stderr,\"** DataArray[%d]: its Base64 data has '=' before its end, at character %lld\\n\",\n                xd->gim->numDA-1, xd->dind/3*4 + padded + 1);\n        xd->b64_errors++;\n        gii_b64_said = 1;\n        return -1;\n    }\n    din  += 4*(long long)ind;\n    dout += 3*(long long)ind;\n    *needed -= 3*(long long)ind;"
  "the Base64 decoding of whole blocks")
replace_once(xml
  "        default:\n            fprintf(stderr,\"** A2D: invalid encoding value %d (%s)\\n\",\n                    da->encoding,\n                    gifti_list_index2string(gifti_encoding_list,da->encoding));\n            return 1;"
  "        default:\n            fprintf(stderr,\"** DataArray[%d]: its Encoding \\\"%s\\\" is none of ASCII, Base64Binary, \"\n                    \"GZipBase64Binary and ExternalFileBinary\\n\", xd->gim->numDA-1,\n                    gifti_get_meta_value(&da->ex_atrs, \"Encoding\") ? gifti_get_meta_value(&da->ex_atrs, \"Encoding\") : \"\");\n            xd->b64_errors++;\n            gii_b64_said = 1;\n            return 1;"
  "the message of an unknown encoding")
# 22. Padding ("=") only where the data ends: in the last, partial block, at
# most in the places that carry no byte.
replace_once(xml
  "    int             ind, assigned;\n\n    if( xd->verb > 4)\n        fprintf(stderr,\"-- DB64: decode len %d, remain %lld\\n\", cdlen,*needed);"
  "    int             ind, assigned;\n    long long       padded;\n\n    if( xd->verb > 4)\n        fprintf(stderr,\"-- DB64: decode len %d, remain %lld\\n\", cdlen,*needed);"
  "the declarations of the Base64 decoding")
replace_once(xml
  "    if( ind < blocks ) { /* so *needed < 3 */\n        unsigned char a, b, c;\n"
  "    if( ind < blocks ) { /* so *needed < 3 */\n        unsigned char a, b, c;\n        padded = xd->gim->darray[xd->gim->numDA-1]->encoding == GIFTI_ENCODING_B64GZ ? -1 :\n                 din[0] == '=' ? 0 : din[1] == '=' ? 1 : (*needed >= 2 && din[2] == '=') ? 2 : -1;\n        if( padded >= 0 ) {\n            fprintf(stderr,\"** DataArray[%d]: its Base64 data has '=' before its end, at character %lld\\n\",\n                    xd->gim->numDA-1, xd->dind/3*4 + 4*(long long)ind + padded + 1);\n            xd->b64_errors++;\n            gii_b64_said = 1;\n            return -1;\n        }\n"
  "the partial last block of Base64 data")
replace_once(xml
  "        fprintf(stderr,\"** decode_b64: more data than space\\n\");\n        return -1;"
  "        {   /* say why: padding before the end, or more data than the array holds */\n            long long c, left = 4*(long long)(blocks-ind);\n            for( c = 0; c < left && din[c] != '='; c++ ) ;\n            if( c < left )\n                fprintf(stderr,\"** DataArray[%d]: its Base64 data has '=' before its end, at character %lld\\n\",\n                        xd->gim->numDA-1, xd->dind/3*4 + 4*(long long)ind + c + 1);\n            else\n                fprintf(stderr,\"** DataArray[%d]: its Base64 data holds more than its dimensions give\\n\",\n                        xd->gim->numDA-1);\n            xd->b64_errors++;\n            gii_b64_said = 1;\n        }\n        return -1;"
  "the message of Base64 data beyond the array")
replace_once(xml
  "                parent != GXML_ETYPE_MATRIXDATA )      bad_parent = 1;"
  "                parent != GXML_ETYPE_MATRIXDATA &&\n                parent != GXML_ETYPE_DATA )            bad_parent = 1;"
  "the parents of a CDATA section")
# 14. "]]>" inside CDATA.
replace_once(xml
  "static int ewrite_text_ele(int ele, const char * cdata, const char * attr,\n                           int spaces, int in_CDATA, FILE * fp)\n{\n    int index = ele;\n\n    if(ele < 0 || ele > GXML_MAX_ELEN) index = 0;  /* be safe */\n\n    fprintf(fp, \"%*s<%s%s>%s%s%s</%s>\\n\",\n            spaces, \"\", enames[index],\n            attr ? attr : \"\",\n            in_CDATA ? \"<![CDATA[\" : \"\",\n            cdata ? cdata : \"\",\n            in_CDATA ? \"]]>\" : \"\",\n            enames[index]);"
  "/* a text that cannot stand in a CDATA section (it holds \"]]>\"), escaped */\nstatic void ewrite_escaped_text(const char * text, FILE * fp)\n{\n    for( ; *text; text++ ) {\n        if( *text == '&' )      fputs(\"&amp;\", fp);\n        else if( *text == '<' ) fputs(\"&lt;\", fp);\n        else if( *text == '>' ) fputs(\"&gt;\", fp);\n        else                    fputc(*text, fp);\n    }\n}\n\nstatic int ewrite_text_ele(int ele, const char * cdata, const char * attr,\n                           int spaces, int in_CDATA, FILE * fp)\n{\n    int index = ele;\n    int escaped = in_CDATA && cdata && strstr(cdata, \"]]>\");\n\n    if(ele < 0 || ele > GXML_MAX_ELEN) index = 0;  /* be safe */\n    if( escaped ) in_CDATA = 0;\n\n    fprintf(fp, \"%*s<%s%s>%s\", spaces, \"\", enames[index], attr ? attr : \"\",\n            in_CDATA ? \"<![CDATA[\" : \"\");\n    if( escaped ) ewrite_escaped_text(cdata, fp);\n    else          fputs(cdata ? cdata : \"\", fp);\n    fprintf(fp, \"%s</%s>\\n\", in_CDATA ? \"]]>\" : \"\", enames[index]);"
  "the writer of text elements")
replace_once(xml "#define GXML_MIN_BSIZE 2048"
  "#define GXML_MIN_BSIZE 2048\n\n/* set while the text of an element continues in its next CDATA section */\nstatic int gii_after_cdata = 0;\n\n/* set when the Base64 decoding has said why an array loses its data */\nstatic int gii_b64_said = 0;"
  "the definitions at the top")
replace_once(xml
  "    xd->cdata = NULL;                   /* clear fields for future use */\n    xd->clen = 0;\n"
  "    if( etype == GXML_ETYPE_CDATA && xd->cdata && !xd->skip ) {\n        gii_after_cdata = 1;   /* a CDATA section that follows continues the text */\n    } else {\n        xd->cdata = NULL;                   /* clear fields for future use */\n        xd->clen = 0;\n        gii_after_cdata = 0;\n    }\n"
  "the start of a pop")
replace_once(xml
  "    int skipping = xd ? xd->skip : 0;\n"
  "    int skipping = xd ? xd->skip : 0;\n    if( etype != GXML_ETYPE_CDATA ) gii_after_cdata = 0;\n"
  "the start of a push")
replace_once(xml
  "    /* act based on the parent type */\n    parent = xd->stack[xd->depth-1];\n"
  "    /* text between or after the CDATA sections of a text is not part of it */\n    if( gii_after_cdata && xd->stack[xd->depth-1] != GXML_ETYPE_CDATA ) return;\n\n    /* act based on the parent type */\n    parent = xd->stack[xd->depth-1];\n"
  "the start of the character handler")
# 15. Compressed files.
replace_once(xml "    unsigned     blen;\n    FILE       * fp;\n" "    unsigned     blen;\n    gzFile       fp;\n"
  "the file of a read")
replace_once(xml "    fp = fopen(fname, \"rb\");\n    if( !fp ) {\n        fprintf(stderr,\"** failed to open GIFTI XML file"
  "    fp = gzopen(fname, \"rb\");  /* plain or gzip-compressed */\n    if( !fp ) {\n        fprintf(stderr,\"** failed to open GIFTI XML file"
  "the opening of a file to read")
replace_once(xml "    if( reset_xml_buf(xd, &buf, &bsize) ) { fclose(fp); return NULL; }"
  "    if( reset_xml_buf(xd, &buf, &bsize) ) { gzclose(fp); return NULL; }" "the first buffer of a read")
replace_once(xml "        fprintf(stderr,\"** failed to alloc initial gifti_image\\n\");\n        free(buf);\n"
  "        fprintf(stderr,\"** failed to alloc initial gifti_image\\n\");\n        free(buf);\n        gzclose(fp);\n"
  "the allocation of an image")
replace_once(xml "        blen = fread(buf, 1, bsize, fp);\n        done = blen < sizeof(buf);"
  "        {\n            int got = gzread(fp, buf, bsize);\n            if( got < 0 ) {\n                fprintf(stderr,\"** failed to read GIFTI file '%s'\\n\", fname);\n                gifti_free_image(xd->gim);\n                xd->gim = NULL;\n                break;\n            }\n            blen = (unsigned)got;\n            done = got < bsize;\n        }"
  "the reading of a file's bytes")
replace_once(xml "    fclose(fp);\n    if( buf ) free(buf);        /* parser buffer */"
  "    gzclose(fp);\n    if( buf ) free(buf);        /* parser buffer */" "the end of a read")
replace_once(xml "    gzclose(fp);\n    if( buf ) free(buf);        /* parser buffer */"
  "    gii_drop_ascii();  /* a read that ended inside a Data element */\n    gzclose(fp);\n    if( buf ) free(buf);        /* parser buffer */"
  "the end of a read, for ASCII data")
# 16. Data paths.
replace_once(xml "#include \"gifti_io.h\"\n"
  "#include \"gifti_io.h\"\n#include \"common/gifti_codecs.h\"\n#define strtod meshbridge_strtod\n#define fprintf meshbridge_gifti_fprintf\n"
  "the includes")
replace_once(xml
  "            for(c = 0; c < rows; c++ )\n                ewrite_data_line("
  "            if( !meshbridge_write_ascii_rows(fp, da->datatype, da->data, rows, cols, spaces+xd->indent) )\n            for(c = 0; c < rows; c++ )\n                ewrite_data_line("
  "the rows of an ASCII array")
replace_once(xml
  "    if( !data || len < 1 ) return -1;\n\n    if( mesg ) fputs(mesg, stream);"
  "    if( !data || len < 1 ) return -1;\n    if( !mesg ) return meshbridge_write_base64(stream, data, len);\n\n    if( mesg ) fputs(mesg, stream);"
  "the start of the Base64 writer")
replace_once(xml
  "            rv = compress2((Bytef *)xd->zdata, &blen, da->data,\n                           da->nvals*da->nbyper, xd->zlevel);"
  "            {\n                long long made = meshbridge_zlib_compress(xd->zdata, (long long)blen, da->data,\n                                                          da->nvals*da->nbyper, xd->zlevel);\n                rv = made < 0 ? Z_BUF_ERROR : Z_OK;\n                if( made >= 0 ) blen = (uLongf)made;\n            }"
  "the compression of a data array")
replace_once(xml
  "        rv = uncompress(da->data, &outlen, (Bytef*)xd->zdata, xd->dind);"
  "        {\n            long long made = meshbridge_zlib_decompress(da->data, (long long)outlen, xd->zdata, xd->dind);\n            rv = made < 0 ? Z_DATA_ERROR : Z_OK;\n            if( made >= 0 ) outlen = (uLongf)made;\n        }"
  "the decompression of a data array")
replace_once(xml "                fprintf(stderr,\"   (zlib failure, corrupted data)\\n\");"
  "                fprintf(stderr,\"   (its compressed data is damaged or ends early)\\n\");"
  "the message of damaged compressed data")
# 17. Sizes the file cannot hold.
replace_once(xml "#include \"gifti_io.h\"\n"
  "#include \"gifti_io.h\"\n#include <sys/stat.h>\n\n/* the most data bytes the file being read can give (0: no limit known) */\nstatic long long gii_data_limit = 0;\n\nstatic long long gii_file_bytes(const char * fname)\n{\n#ifdef _WIN32\n    struct _stati64 st;\n    return _stati64(fname, &st) == 0 ? (long long)st.st_size : -1;\n#else\n    struct stat st;\n    return stat(fname, &st) == 0 ? (long long)st.st_size : -1;\n#endif\n}\n"
  "the includes")
replace_once(xml
  "    fp = gzopen(fname, \"rb\");  /* plain or gzip-compressed */\n    if( !fp ) {\n        fprintf(stderr,\"** failed to open GIFTI XML file '%s'\\n\", fname);\n        return NULL;\n    }\n"
  "    fp = gzopen(fname, \"rb\");  /* plain or gzip-compressed */\n    if( !fp ) {\n        fprintf(stderr,\"** failed to open GIFTI XML file '%s'\\n\", fname);\n        return NULL;\n    }\n    {   /* a compressed file's text is at most 1032 times its size */\n        long long bytes = gii_file_bytes(fname);\n        gii_data_limit = bytes < 0 ? 0 : bytes * (gzdirect(fp) ? 1 : 1032);\n    }\n"
  "the opening of a file to read")
replace_once(xml
  "    giiDataArray * da = xd->gim->darray[xd->gim->numDA-1]; /* current DA */\n    int            zsize;\n"
  "    giiDataArray * da = xd->gim->darray[xd->gim->numDA-1]; /* current DA */\n    long long      zsize;\n"
  "the declarations of push_data")
replace_once(xml
  "        xd->skip = xd->depth;\n        return 1;\n    }\n\n    if( update_partial_buffer(&xd->ddata, &xd->dlen, da->nbyper*da->nvals, 0) )"
  "        xd->skip = xd->depth;\n        return 1;\n    }\n\n    if( da->nvals <= 0 || da->nbyper <= 0 ) {  /* before any buffer is sized for it */\n        if( da->nbyper > 0 && da->num_dim > 0 && da->dims[0] == 0 )\n            fprintf(stderr,\"** DataArray[%d] has 0 rows\\n\", xd->gim->numDA-1);\n        else\n            fprintf(stderr,\"** DataArray[%d] holds no values of a known size\\n\", xd->gim->numDA-1);\n        return 1;\n    }\n\n    /* no more data than the file can give: its text, or deflate's best ratio */\n    if( gii_data_limit > 0 && da->encoding != GIFTI_ENCODING_EXTBIN && da->nbyper > 0 &&\n        ( da->encoding == GIFTI_ENCODING_ASCII\n            ? da->nvals > (gii_data_limit + 1) / 2 / GII_ASCII_NUMBERS(da->datatype)\n            : da->nvals > (da->encoding == GIFTI_ENCODING_B64GZ ? gii_data_limit * 1032 : gii_data_limit)\n                          / da->nbyper ) ) {\n        fprintf(stderr,\"** PD: DataArray[%d] of %lld values is more than the file holds\\n\",\n                xd->gim->numDA-1, da->nvals);\n        return 1;\n    }\n\n    if( update_partial_buffer(&xd->ddata, &xd->dlen, da->nbyper*da->nvals, 0) )"
  "the start of push_data")
# 18. Huge pages for the data arrays read and their compressed bytes.
replace_once(xml "#include \"gifti_io.h\"\n"
  "#include \"gifti_io.h\"\n#include \"common/huge_pages.h\"\n" "the includes of gifti_xml.c")
replace_once(xml
  "    da->data = calloc(da->nvals, da->nbyper);\n    if( ! da->data ) {"
  "    da->data = calloc(da->nvals, da->nbyper);\n    meshbridge_advise_huge_pages(da->data, da->nvals * da->nbyper);\n    if( ! da->data ) {"
  "the allocation of a data array read")
replace_once(xml
  "        *blen = bsize;\n    }\n\n    return 0;\n}"
  "        *blen = bsize;\n        meshbridge_advise_huge_pages(*buf, bsize);\n    }\n\n    return 0;\n}"
  "the allocation of a partial buffer")
# 20. Data text past the parser.
file(READ "${CMAKE_CURRENT_LIST_DIR}/gifti_text_feed.c" text_feed)
replace_once(xml "/* note: the buffer needs to be large enough"
  "${text_feed}/* note: the buffer needs to be large enough" "the start of gxml_read_image")
replace_once(xml "    parser = init_xml_parser((void *)xd);\n"
  "    parser = init_xml_parser((void *)xd);\n    gii_feed_start(parser);\n" "the creation of the parser")
replace_once(xml "        if( XML_Parse(parser, buf, blen, done) == XML_STATUS_ERROR) {"
  "        if( gii_feed(parser, xd, buf, blen, done) == XML_STATUS_ERROR) {" "the parsing of a buffer")
replace_once(xml "    XML_ParserFree(parser);\n"
  "    gii_feed_end();\n    XML_ParserFree(parser);\n" "the end of the parser")
replace_once(xml "    (void)epush(xd, etype, ename, attr);\n"
  "    (void)epush(xd, etype, ename, attr);\n    if( etype == GXML_ETYPE_DATA ) gii_feed_note_data(1);\n"
  "the start of an element")
replace_once(xml "    epop(xd, ename2type(ename), ename);\n"
  "    if( ename2type(ename) == GXML_ETYPE_DATA ) gii_feed_note_data(0);\n    epop(xd, ename2type(ename), ename);\n"
  "the end of an element")
# 21. Texts that grow by doubling.
replace_once(xml
  "    if( !*xd->cdata ) {\n        offset = 0;\n        xd->clen = len + 1;  /* first time, alloc for null */\n    }\n    else {\n        offset = xd->clen - 1;\n        xd->clen += len;\n    }\n"
  "    if( len > INT_MAX / 2 - (*xd->cdata ? xd->clen : 1) ) {\n        fprintf(stderr,\"** a text of more than %d bytes\\n\", INT_MAX / 2);\n        xd->errors++;\n        return 1;\n    }\n    if( !*xd->cdata ) {\n        offset = 0;\n        xd->clen = len + 1;  /* first time, alloc for null */\n    }\n    else {\n        offset = xd->clen - 1;\n        xd->clen += len;\n    }\n"
  "the length of a text")
replace_once(xml
  "    *xd->cdata = (char *)realloc(*xd->cdata, xd->clen*sizeof(char));\n    if(!*xd->cdata) {\n        fprintf(stderr,\"** A2CD, failed to realloc %d bytes\\n\",xd->clen);\n        return 1;\n    }\n"
  "    /* the room of a text is the power of two from 16 up that holds it */\n    if( offset == 0 || gii_text_room(xd->clen) != gii_text_room(offset + 1) ) {\n        char * more = (char *)realloc(*xd->cdata, gii_text_room(xd->clen));\n        if( !more ) {\n            fprintf(stderr,\"** A2CD, failed to realloc %d bytes\\n\",xd->clen);\n            xd->errors++;\n            return 1;\n        }\n        *xd->cdata = more;\n    }\n"
  "the room of a text")
replace_once(xml "static int append_to_cdata(gxml_data * xd, const char * cdata, int len)\n{"
  "static size_t gii_text_room(int length)\n{\n    size_t room = 16;\n    while( room < (size_t)length ) room *= 2;\n    return room;\n}\n\nstatic int append_to_cdata(gxml_data * xd, const char * cdata, int len)\n{"
  "the definition of append_to_cdata")
write_if_changed("${OUT}/gifti_xml.c" "${xml}")
