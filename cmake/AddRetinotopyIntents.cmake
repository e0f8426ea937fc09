# cmake -DIN=gifti_io.c -DOUT=patched/gifti_io.c -P AddRetinotopyIntents.cmake
#
# Copies gifticlib's gifti_io.c and appends three intents to its intent table,
# so that the library writes and reads them by name:
#   1015 NIFTI_INTENT_RETINOTOPY_POLAR
#   1016 NIFTI_INTENT_RETINOTOPY_ECCENTRICITY
#   1017 NIFTI_INTENT_RETINOTOPY_FIELD_SIGN
# The table's last entry is NIFTI_INTENT_SHAPE; the new entries follow it.
file(READ "${IN}" source)
set(anchor_regex "\\{[ \t]*NIFTI_INTENT_SHAPE[ \t]*,[ \t]*\"NIFTI_INTENT_SHAPE\"[ \t]*\\}")
string(REGEX MATCH "${anchor_regex}" anchor "${source}")
if(NOT anchor)
  message(FATAL_ERROR "gifti_io.c: the intent table's NIFTI_INTENT_SHAPE entry was not found")
endif()
string(FIND "${source}" "NIFTI_INTENT_RETINOTOPY_POLAR" already)
if(already EQUAL -1)
  set(extra "${anchor},\n    { 1015, \"NIFTI_INTENT_RETINOTOPY_POLAR\" },\n    { 1016, \"NIFTI_INTENT_RETINOTOPY_ECCENTRICITY\" },\n    { 1017, \"NIFTI_INTENT_RETINOTOPY_FIELD_SIGN\" }")
  string(REPLACE "${anchor}" "${extra}" source "${source}")
endif()
file(WRITE "${OUT}.tmp" "${source}")
file(RENAME "${OUT}.tmp" "${OUT}")
