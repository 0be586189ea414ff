/* The numbers of the engine's result codes, for C and C++ alike:
 * <voka/result_codes.h> names them for the C++ engine, <voka/voka_client.h>
 * for the C interface. They are never renumbered. */
#ifndef VOKA_RESULT_CODE_NUMBERS_H
#define VOKA_RESULT_CODE_NUMBERS_H

#define VOKA_OK 0
#define VOKA_E_FAIL (-10332102)
#define VOKA_E_EKEYPWD (-10332115)
/* GetValue's, and the C interface's getters'. */
#define VOKA_VALUE_ABSENT (-1)
#define VOKA_VALUE_TOO_LONG (-2)

#endif /* VOKA_RESULT_CODE_NUMBERS_H */
