/* Loads a MEX file the way MATLAB does and calls its gateway once per case.
 *
 *   loader [--x87-precision=53|64] MEX-FILE [GATEWAY-EXPORT] < cases > results
 *
 * On x86 the option sets the precision of the x87 unit before the MEX file
 * is loaded: Linux processes start at 64 bits, Windows ones usually at 53,
 * and MEX files built for x87 round as the host process leaves the unit.
 *
 * First, when the MEX file exports mexVersion, it prints
 *   mex-version TEXT
 * Then each case on standard input is
 *   case NAME
 *   arg CLASS COMPLEX SPARSE NDIM DIM... VALUE...   (zero or more; the
 *        real values in storage order, then the imaginary ones if COMPLEX)
 *   call
 * and for each the loader prints
 *   case NAME
 *   console TEXT              (the rest of the line, with \n, \\ and \xHH)
 *   error TEXT                (when the call ended through mexErrMsgTxt)
 *   output NDIM DIM...        (when it returned and filled the first slot)
 *   class NAME                (of the output, when it is not double)
 *   values COUNT VALUE...     (%.17g, which reads back exactly; a single
 *                              output's values as doubles)
 *   inputs unchanged|changed
 *   live-arrays N             (after the host freed the call's arrays)
 *   end
 * Arguments of other classes are stored converted to that class as MATLAB
 * converts: rounded, halves away from zero, saturated at the class's range,
 * NaN as 0; logical keeps whether the value is nonzero. A sparse argument is
 * then packed to its nonzero values, as MATLAB stores it. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
/* The results are data: no carriage returns before the line ends. */
static void use_binary_stdout(void)
{
    _setmode(_fileno(stdout), _O_BINARY);
}
static void* open_mex_file(const char* path)
{
    return (void*)LoadLibraryA(path);
}
static void* find_export(void* library, const char* name)
{
    return (void*)GetProcAddress((HMODULE)library, name);
}
static const char* load_error(void)
{
    static char text[64];
    snprintf(text, sizeof text, "Windows error %lu", (unsigned long)GetLastError());
    return text;
}
/* Wine 8's msvcrt.dll (and crtdll.dll, which hands exp on to it) reports
 * exp(x) for x at or below -1024 as a domain error and returns x itself:
 * exp(-5000) gives -4999 where Windows gives 0, on which the kernel of a
 * near-zero width relies. exp has no domain error at a finite negative
 * argument, so the host answers it through the C library's error hook,
 * which serves the whole process and so also the MEX file's calls. */
static int __cdecl answer_math_error(struct _exception* error)
{
    if (error->type == _DOMAIN && strcmp(error->name, "exp") == 0 && isfinite(error->arg1) &&
        error->arg1 < 0.0) {
        error->retval = 0.0;
        return 1;
    }
    return 0;
}
static void prepare_c_library(void)
{
    __setusermatherr(answer_math_error);
}
#else
#include <dlfcn.h>
static void use_binary_stdout(void)
{
}
static void* open_mex_file(const char* path)
{
    /* RTLD_GLOBAL is not needed for the MEX file itself, but a MEX file
     * built without needed-library entries resolves the host's calls from
     * the libraries this process already has loaded globally. */
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
static void* find_export(void* library, const char* name)
{
    return dlsym(library, name);
}
static const char* load_error(void)
{
    return dlerror();
}
static void prepare_c_library(void)
{
}
#endif

enum { max_arguments = 16, max_token = 4096 };

static void die(const char* what, const char* detail)
{
    fprintf(stderr, "loader: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    exit(2);
}

static int read_token(char* token)
{
    return scanf("%4095s", token) == 1;
}

static long read_long(void)
{
    char token[max_token];
    char* end;
    if (!read_token(token))
        die("case file ends inside an argument", NULL);
    long value = strtol(token, &end, 10);
    if (*end != '\0')
        die("expected a whole number, read", token);
    return value;
}

static double read_double(void)
{
    char token[max_token];
    char* end;
    if (!read_token(token))
        die("case file ends inside an argument", NULL);
    double value = strtod(token, &end);
    if (*end != '\0')
        die("expected a number, read", token);
    return value;
}

/* A plain cast of a value outside the integer type's range is undefined,
 * so every conversion goes through here first. The 64-bit limits are not
 * exact doubles; the top one is compared with >= so that 2^63 and 2^64
 * saturate instead of overflowing. */
static double to_integer(double value, double low, double high)
{
    if (isnan(value))
        return 0.0;
    value = round(value);
    return value < low ? low : value > high ? high : value;
}

static void store(void* data, int32_t class_id, size_t index, double value)
{
    switch (class_id) {
    case host_class_double: ((double*)data)[index] = value; break;
    case host_class_single: ((float*)data)[index] = (float)value; break;
    case host_class_logical: ((unsigned char*)data)[index] = value != 0.0; break;
    case host_class_uint8:
        ((uint8_t*)data)[index] = (uint8_t)to_integer(value, 0, UINT8_MAX);
        break;
    case host_class_int8:
        ((int8_t*)data)[index] = (int8_t)to_integer(value, INT8_MIN, INT8_MAX);
        break;
    case host_class_char:
    case host_class_uint16:
        ((uint16_t*)data)[index] = (uint16_t)to_integer(value, 0, UINT16_MAX);
        break;
    case host_class_int16:
        ((int16_t*)data)[index] = (int16_t)to_integer(value, INT16_MIN, INT16_MAX);
        break;
    case host_class_int32:
        ((int32_t*)data)[index] = (int32_t)to_integer(value, INT32_MIN, INT32_MAX);
        break;
    case host_class_uint32:
        ((uint32_t*)data)[index] = (uint32_t)to_integer(value, 0, UINT32_MAX);
        break;
    case host_class_int64: {
        double v = to_integer(value, -0x1p63, 0x1p63);
        ((int64_t*)data)[index] = v >= 0x1p63 ? INT64_MAX : (int64_t)v;
        break;
    }
    case host_class_uint64: {
        double v = to_integer(value, 0, 0x1p64);
        ((uint64_t*)data)[index] = v >= 0x1p64 ? UINT64_MAX : (uint64_t)v;
        break;
    }
    }
}

static const char* class_names[] = {
    "", "cell", "struct", "logical", "char", "void", "double", "single", "int8",
    "uint8", "int16", "uint16", "int32", "uint32", "int64", "uint64"};

static int32_t class_from_name(const char* name)
{
    for (int32_t id = 3; id < (int32_t)(sizeof class_names / sizeof *class_names); ++id)
        if (strcmp(name, class_names[id]) == 0 && id != 5)
            return id;
    die("unknown class", name);
    return 0;
}

static mxArray* read_argument(void)
{
    char token[max_token];
    int32_t dims[64];
    if (!read_token(token))
        die("case file ends inside an argument", NULL);
    int32_t class_id = class_from_name(token);
    int complex = (int)read_long();
    int sparse = (int)read_long();
    long ndim = read_long();
    if (ndim < 0 || ndim > 64)
        die("too many dimensions", token);
    for (long d = 0; d < ndim; ++d)
        dims[d] = (int32_t)read_long();
    mxArray* array = host_new_array((int32_t)ndim, dims, class_id, complex, sparse);
    if (!array)
        die("cannot create an argument array", NULL);
    size_t count = host_element_count(array);
    for (size_t i = 0; i < count; ++i)
        store(host_real_data(array), class_id, i, read_double());
    if (complex)
        for (size_t i = 0; i < count; ++i)
            store(host_imag_data(array), class_id, i, read_double());
    host_pack_sparse(array);
    return array;
}

static void print_escaped(const char* label, const char* text)
{
    printf("%s ", label);
    for (const unsigned char* c = (const unsigned char*)text; *c; ++c) {
        if (*c == '\n')
            fputs("\\n", stdout);
        else if (*c == '\\')
            fputs("\\\\", stdout);
        else if (*c < 0x20 || *c >= 0x7f)
            printf("\\x%02x", *c);
        else
            putchar(*c);
    }
    putchar('\n');
}

static size_t data_bytes(const mxArray* array)
{
    return host_stored_count(array) * host_element_size(array);
}

/* A copy of every input's data, to tell whether the call wrote into one.
 * Empty data has no pointer, and memcpy and memcmp must not be given
 * NULL even for no bytes. */
static void* copy_data(const mxArray* array, int imaginary)
{
    size_t bytes = data_bytes(array);
    void* copy = malloc(bytes + 1);
    if (!copy)
        die("out of memory", NULL);
    if (bytes)
        memcpy(copy, imaginary ? host_imag_data(array) : host_real_data(array), bytes);
    return copy;
}

static int data_unchanged(const mxArray* array, const void* real, const void* imag)
{
    size_t bytes = data_bytes(array);
    if (bytes == 0)
        return 1;
    return memcmp(real, host_real_data(array), bytes) == 0 &&
           (!imag || memcmp(imag, host_imag_data(array), bytes) == 0);
}

/* Older C runtimes print NaN as "-1.#IND"; spell it out so it reads back. */
static void print_value(double value)
{
    if (isnan(value))
        fputs(" nan", stdout);
    else if (isinf(value))
        fputs(value > 0 ? " inf" : " -inf", stdout);
    else
        printf(" %.17g", value);
}

static void report_output(const mxArray* output)
{
    int32_t ndim = mxGetNumberOfDimensions(output);
    const int32_t* dims = mxGetDimensions(output);
    printf("output %d", ndim);
    for (int32_t d = 0; d < ndim; ++d)
        printf(" %d", dims[d]);
    size_t count = host_element_count(output);
    const int single = host_class(output) == host_class_single;
    if (single)
        printf("\nclass single");
    printf("\nvalues %lu", (unsigned long)count);
    for (size_t i = 0; i < count; ++i)
        print_value(single ? ((const float*)host_real_data(output))[i]
                           : ((const double*)host_real_data(output))[i]);
    putchar('\n');
}

#if defined(__i386__)
static void set_x87_precision(const char* bits)
{
    unsigned short control;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control &= (unsigned short)~0x300u;
    if (strcmp(bits, "64") == 0)
        control |= 0x300u;
    else if (strcmp(bits, "53") == 0)
        control |= 0x200u;
    else
        die("--x87-precision takes 53 or 64, not", bits);
    __asm__ volatile("fldcw %0" : : "m"(control));
}
#else
static void set_x87_precision(const char* bits)
{
    die("this loader has no x87 arithmetic to set to", bits);
}
#endif

static void run_case(mex_gateway gateway, const char* name)
{
    const mxArray* inputs[max_arguments];
    void* real_copies[max_arguments];
    void* imag_copies[max_arguments];
    mxArray* outputs[1] = {NULL};
    char token[max_token];
    int count = 0;

    while (read_token(token) && strcmp(token, "call") != 0) {
        if (strcmp(token, "arg") != 0)
            die("expected arg or call, read", token);
        if (count == max_arguments)
            die("too many arguments in case", name);
        mxArray* argument = read_argument();
        inputs[count] = argument;
        real_copies[count] = copy_data(argument, 0);
        imag_copies[count] = host_is_complex(argument) ? copy_data(argument, 1) : NULL;
        ++count;
    }

    printf("case %s\n", name);
    fflush(stdout);
    host_clear_console();
    int failed = host_call_gateway(gateway, 1, outputs, count, inputs);
    print_escaped("console", host_console());
    if (failed)
        print_escaped("error", host_error_message());
    else if (outputs[0])
        report_output(outputs[0]);

    int unchanged = 1;
    for (int i = 0; i < count; ++i) {
        unchanged &= data_unchanged(inputs[i], real_copies[i], imag_copies[i]);
        free(real_copies[i]);
        free(imag_copies[i]);
    }
    printf("inputs %s\n", unchanged ? "unchanged" : "changed");

    /* As MATLAB clears a call's arrays, also after an error. */
    host_free_all_arrays();
    printf("live-arrays %lu\nend\n", (unsigned long)host_live_arrays());
    fflush(stdout);
}

int main(int argc, char** argv)
{
    static const char precision_option[] = "--x87-precision=";
    int first = 1;
    if (argc > 1 && strncmp(argv[1], precision_option, sizeof precision_option - 1) == 0) {
        set_x87_precision(argv[1] + sizeof precision_option - 1);
        first = 2;
    }
    if (argc - first < 1 || argc - first > 2) {
        fprintf(stderr, "usage: %s [--x87-precision=53|64] MEX-FILE [GATEWAY-EXPORT] < cases\n",
                argv[0]);
        return 2;
    }
    use_binary_stdout();
    prepare_c_library();
    const char* export_name = argc - first == 2 ? argv[first + 1] : "mexFunction";
    void* library = open_mex_file(argv[first]);
    if (!library)
        die("cannot load the MEX file", load_error());
    mex_gateway gateway = (mex_gateway)find_export(library, export_name);
    if (!gateway)
        die("the MEX file has no gateway export", export_name);

    typedef const char* (*version_call)(void);
    version_call version = (version_call)find_export(library, "mexVersion");
    if (version)
        print_escaped("mex-version", version());

    host_set_echo(0);
    char token[max_token];
    while (read_token(token)) {
        if (strcmp(token, "case") != 0 || !read_token(token))
            die("expected case NAME, read", token);
        run_case(gateway, token);
    }
    return 0;
}
