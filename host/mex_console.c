/* libmex of the stand-in host: mexPrintf keeps what was printed, and
 * mexErrMsgTxt ends the gateway call by jumping back to where the host
 * entered it, as MATLAB does. */
#include <setjmp.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host.h"

struct text {
    char* chars;
    size_t length;
    size_t capacity;
};

static _Thread_local struct text console;
static _Thread_local char error_message[4096];
static _Thread_local jmp_buf* error_exit;
/* Atomic because the re-entrancy test prints from several threads at once. */
static atomic_int echo_to_stdout = 1;
static atomic_size_t live_allocations;

void* host_allocate(size_t count, size_t size)
{
    void* block = calloc(count, size);
    if (block)
        atomic_fetch_add(&live_allocations, 1);
    return block;
}

void* host_reallocate(void* block, size_t size)
{
    void* moved = realloc(block, size);
    if (moved && !block)
        atomic_fetch_add(&live_allocations, 1);
    return moved;
}

void host_release(void* block)
{
    if (block)
        atomic_fetch_sub(&live_allocations, 1);
    free(block);
}

size_t host_live_allocations(void)
{
    return atomic_load(&live_allocations);
}

static void append(struct text* text, const char* chars, size_t length)
{
    if (text->length + length + 1 > text->capacity) {
        size_t capacity = 2 * (text->length + length + 1);
        char* grown = (char*)host_reallocate(text->chars, capacity);
        if (!grown)
            return;
        text->chars = grown;
        text->capacity = capacity;
    }
    memcpy(text->chars + text->length, chars, length);
    text->length += length;
    text->chars[text->length] = '\0';
}

int mexPrintf(const char* format, ...)
{
    char buffer[4096];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0)
        return length;
    if ((size_t)length >= sizeof buffer)
        length = (int)sizeof buffer - 1;
    append(&console, buffer, (size_t)length);
    if (echo_to_stdout) {
        fwrite(buffer, 1, (size_t)length, stdout);
        fflush(stdout);
    }
    return length;
}

void mexErrMsgTxt(const char* message)
{
    snprintf(error_message, sizeof error_message, "%s", message);
    if (error_exit)
        longjmp(*error_exit, 1);
    /* Called outside any gateway call: MATLAB would have nowhere to return
     * to either. */
    fprintf(stderr, "mexErrMsgTxt outside a call: %s\n", message);
    abort();
}

struct gateway_call {
    mex_gateway gateway;
    int nlhs;
    mxArray** plhs;
    int nrhs;
    const mxArray** prhs;
};

static void call_gateway(void* context)
{
    struct gateway_call* call = (struct gateway_call*)context;
    call->gateway(call->nlhs, call->plhs, call->nrhs, call->prhs);
}

int host_call_gateway(mex_gateway gateway, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[])
{
    struct gateway_call call = {gateway, nlhs, plhs, nrhs, prhs};
    return host_run(call_gateway, &call);
}

int host_run(void (*body)(void* context), void* context)
{
    jmp_buf here;
    jmp_buf* outer = error_exit;
    error_message[0] = '\0';
    if (setjmp(here)) {
        error_exit = outer;
        return 1;
    }
    error_exit = &here;
    body(context);
    error_exit = outer;
    return 0;
}

const char* host_console(void)
{
    return console.chars ? console.chars : "";
}

const char* host_error_message(void)
{
    return error_message;
}

void host_clear_console(void)
{
    host_release(console.chars);
    console.chars = NULL;
    console.length = 0;
    console.capacity = 0;
}

void host_set_echo(int echo)
{
    echo_to_stdout = echo;
}
