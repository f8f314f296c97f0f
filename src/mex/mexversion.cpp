/* mexVersion: which generation of the MATLAB host interface this MEX file
 * was built for. */
#ifdef VOXBLUR_HOST_R14
static const char host_generation[] = "MATLAB R14 native";
#else
static const char host_generation[] = "MATLAB R11 native";
#endif

extern "C" const char* mexVersion(void)
{
    return host_generation;
}
