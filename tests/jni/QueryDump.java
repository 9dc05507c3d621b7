import java.io.ByteArrayOutputStream;
import java.io.FileOutputStream;
import java.nio.charset.StandardCharsets;

// Lays out a contig and a report through libJPileograph and writes every
// query's answer to a dump file. engine_dump.cc writes the same dump from
// the engine called directly; the two must be byte-identical.
// Usage: QueryDump contig report dumpfile
public class QueryDump {
  static final ByteArrayOutputStream out = new ByteArrayOutputStream();

  static void line(String s) {
    byte[] b = (s + "\n").getBytes(StandardCharsets.ISO_8859_1);
    out.write(b, 0, b.length);
  }

  static void file(String path) throws Exception {
    line("file " + path);
    line(Check.readFile(path));
  }

  public static void main(String[] args) throws Exception {
    long e = JPileographJNI.new_Pileograph();
    JPileographJNI.Pileograph_ReadSource__SWIG_0(e, args[0]);
    line("contig " + JPileographJNI.Pileograph_GetSourceSize(e));
    JPileographJNI.Pileograph_ReadCM__SWIG_0(e, args[1]);
    JPileographJNI.Pileograph_MergeAlignments(e);
    int size = JPileographJNI.Pileograph_GetSourceSize(e);
    line("size " + size);
    StringBuilder bases = new StringBuilder("bases");
    for (int i = 0; i < size; i++) bases.append(' ').append((int) JPileographJNI.Pileograph_GetSourceBase(e, i));
    line(bases.toString());
    int reads = JPileographJNI.Pileograph_GetNumReads(e);
    line("reads " + reads);
    for (int r = 0; r < reads; r++) {
      line("read " + r + " " + JPileographJNI.Pileograph_GetReadName(e, r) + " "
          + JPileographJNI.Pileograph_RIdx2SIdx(e, 0, r) + " " + JPileographJNI.Pileograph_SIdx2RIdx(e, 0, r));
    }
    int step = Math.max(1, size / 25);
    for (int start = -2; start <= size + 2; start += step) {
      for (int width : new int[] {0, 1, 5, 37}) {
        int end = start + width;
        int n = JPileographJNI.Pileograph_GetNumReadsInWindow(e, start, end);
        line("window " + start + " " + end + " " + n);
        StringBuilder names = new StringBuilder("names");
        for (int k = -1; k <= n; k++) names.append(' ').append(JPileographJNI.Pileograph_GetWindowReadName(e, start, end, k));
        line(names.toString());
        for (int col = start - 1; col <= end; col++) {
          line("col " + col + " [" + JPileographJNI.Pileograph_GetAlignedCharacters(e, start, end, col) + "]");
        }
      }
    }
    int[][] prints = {{0, -1, 60}, {-7, 25, 9}, {size + 3, -1, 10}, {5, 5, 1}};
    for (int[] p : prints) {
      JPileographJNI.Pileograph_PrintAlignment__SWIG_0(e, "pileup.txt", p[0], p[1], p[2]);
      line("print " + p[0] + " " + p[1] + " " + p[2]);
      file("pileup.txt");
    }
    JPileographJNI.Pileograph_WriteMerged(e);
    file("usrctest.fa");
    file("usource.out");
    file("ureads.out");
    JPileographJNI.delete_Pileograph(e);
    try (FileOutputStream f = new FileOutputStream(args[2])) {
      out.writeTo(f);
    }
  }
}
