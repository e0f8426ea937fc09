/* gifticlib names one function of the NIfTI I/O library, in a diagnostic of its
 * data comparison. The plug-in does not link that library; this forwards the
 * name lookup to gifticlib's own table of data type names. */
#include "gifti_io.h"

char const *nifti_datatype_to_string(int dtype)
{
    return gifti_datatype2str(dtype);
}
