// Stand-ins for Ghostscript's library, loaded by the locator in tests.
// FAKE_GS_REVISION set: a library whose gsapi_revision reports that
// revision and nothing else.  FAKE_GS_FAILS: its gsapi_revision fails.
// Neither: a library that is not Ghostscript at all.

extern "C" {
#include <ghostscript/iapi.h>
}

#if defined(FAKE_GS_REVISION)
extern "C" GSDLLEXPORT int GSDLLAPI gsapi_revision(gsapi_revision_t *pr, int len)
{
  if (len < static_cast<int>(sizeof *pr))
    return sizeof *pr;
  pr->product = "Fake Ghostscript";
  pr->copyright = "none";
  pr->revision = FAKE_GS_REVISION;
  pr->revisiondate = 20200101;
  return 0;
}
#elif defined(FAKE_GS_FAILS)
extern "C" GSDLLEXPORT int GSDLLAPI gsapi_revision(gsapi_revision_t *, int)
{
  return -100;
}
#else
extern "C" int not_ghostscript()
{
  return 0;
}
#endif
