/* A host that links an import library instead of loading the plug-in by
   name: the loader binds the exports at start-up and the calls go straight
   to them. Exits 0 when every answer is the documented one. */
#include <stdio.h>
#include <string.h>

#include "plugin/pngplug.h"

static int failures = 0;

static void Expect(int ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    int data = 0;
    Expect(GetType() == 0, "GetType() is 0");
    Expect(strcmp(GetShortInfo(), "Tesmoor PNG Small_plugin") == 0, "GetShortInfo() text");
    Expect(GetFile() != NULL && GetFile()[0] == 0, "GetFile() is empty before SetFile");
    SetFile("kbz logo.png");
    Expect(strcmp(GetFile(), "kbz logo.png") == 0, "GetFile() returns what SetFile stored");
    SetData(&data);
    Expect(GetData() == &data, "GetData() returns what SetData stored");
    Settings();
    printf("GetType() = %d, %d failures\n", GetType(), failures);
    return failures == 0 ? 0 : 1;
}
