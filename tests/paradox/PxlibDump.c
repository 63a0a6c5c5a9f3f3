/* Prints a Paradox table as pxlib reads it, for comparison with the engine's reading.
 * Runs as its own process because pxlib crashes on some memo files.
 *   H <records> <record size> <fields> <key fields> <code page> <sort order> <level>
 *   F <name> <type> <size>
 *   R <record number>
 *   V <field> NULL | I <integer> | D <double %.17g> | X <hex bytes> | S <text> | E (pxlib error)
 */
#include <paradox.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void Hex(const char* p, int n) {
  printf("X ");
  for (int i = 0; i < n; ++i) printf("%02x", (unsigned char)p[i]);
  printf("\n");
}

static void Quiet(pxdoc_t* p, int type, const char* msg, void* data) {
  (void)p; (void)type; (void)data;
  fprintf(stderr, "pxlib: %s\n", msg);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  PX_boot();
  pxdoc_t* doc = PX_new();
  (void)Quiet;
  if (PX_open_file(doc, argv[1]) < 0) return 3;
  if (argc > 2) PX_set_blob_file(doc, argv[2]);
  pxhead_t* h = doc->px_head;
  int nf = PX_get_num_fields(doc);
  printf("H %d %d %d %d %d %d %d\n", h->px_numrecords, h->px_recordsize, nf, h->px_primarykeyfields, h->px_doscodepage,
         (unsigned char)h->px_sortorder, h->px_fileversion);
  pxfield_t* f = PX_get_fields(doc);
  for (int i = 0; i < nf; ++i) printf("F %s %d %d\n", f[i].px_fname, (unsigned char)f[i].px_ftype, f[i].px_flen);
  char* data = malloc((size_t)h->px_recordsize);
  for (int r = 0; r < h->px_numrecords; ++r) {
    if (!PX_get_record(doc, r, data)) {
      printf("R %d E\n", r);
      continue;
    }
    printf("R %d\n", r);
    int off = 0;
    for (int i = 0; i < nf; ++i) {
      char* p = data + off;
      int len = f[i].px_flen;
      printf("V %d ", i);
      int t = (unsigned char)f[i].px_ftype;
      if (t == pxfAlpha) {
        char* v = NULL;
        int rc = PX_get_data_alpha(doc, p, len, &v);
        if (rc > 0 && v) { Hex(v, (int)strlen(v)); doc->free(doc, v); } else printf("NULL\n");
      } else if (t == pxfShort) {
        short v[8];
        if (PX_get_data_short(doc, p, len, v) > 0) printf("I %d\n", v[0]); else printf("NULL\n");
      } else if (t == pxfLong || t == pxfAutoInc || t == pxfDate || t == pxfTime) {
        long v;
        if (PX_get_data_long(doc, p, len, &v) > 0) printf("I %ld\n", v); else printf("NULL\n");
      } else if (t == pxfNumber || t == pxfCurrency || t == pxfTimestamp) {
        double v;
        if (PX_get_data_double(doc, p, len, &v) > 0) printf("D %.17g\n", v); else printf("NULL\n");
      } else if (t == pxfLogical) {
        char v[8];
        if (PX_get_data_byte(doc, p, len, v) > 0) printf("I %d\n", v[0]); else printf("NULL\n");
      } else if (t == pxfMemoBLOb || t == pxfFmtMemoBLOb) {
        /* Room to spare: this pxlib writes past the ints it is given. */
        int mod[16] = {0}, size[16] = {0};
        char* v = NULL;
        int rc = PX_get_data_blob(doc, p, len, mod, size, &v);
        if (rc > 0 && v) { Hex(v, size[0]); doc->free(doc, v); } else if (rc == 0) printf("NULL\n"); else printf("E\n");
      } else {
        Hex(p, len);
      }
      off += len;
    }
  }
  free(data);
  PX_close(doc);
  PX_delete(doc);
  return 0;
}
