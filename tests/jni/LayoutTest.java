import java.io.File;

// The whole road through libJPileograph on a small contig and report:
// load, merge, query, print, write, and the member getters and setters.
// Runs in a fresh working directory (the merge writes side files there).
//
// The data: contig ACGTACGTACG and four hits, of which readB's lower one is
// dropped and readC's is a complement hit. Union contig ACG--TACGTA-CG;
// merged reads readA CGA-TACG (columns 1-8), readB GCCTACGT (2-9),
// readC CGTAACG (7-13).
public class LayoutTest {
  static String contig;
  static String report;

  static long load() {
    long e = JPileographJNI.new_Pileograph();
    JPileographJNI.Pileograph_ReadSource__SWIG_0(e, contig);
    JPileographJNI.Pileograph_ReadCM__SWIG_0(e, report);
    return e;
  }

  static long merged() {
    long e = load();
    JPileographJNI.Pileograph_MergeAlignments(e);
    return e;
  }

  // The answers every engine laid out like the example must give.
  static void expectExampleLayout(String who, long e) {
    Check.equal(who + " size", 14, JPileographJNI.Pileograph_GetSourceSize(e));
    StringBuilder union = new StringBuilder();
    for (int i = 0; i < 14; i++) union.append(JPileographJNI.Pileograph_GetSourceBase(e, i));
    Check.equal(who + " union contig", "ACG--TACGTA-CG", union.toString());
    Check.equal(who + " reads", 3, JPileographJNI.Pileograph_GetNumReads(e));
    String[] names = {"readA", "readB", "readC"};
    for (int r = 0; r < 3; r++) {
      Check.equal(who + " read name " + r, names[r], JPileographJNI.Pileograph_GetReadName(e, r));
    }
    // {start, end, count}
    int[][] windows = {{0, 1, 0}, {0, 2, 1}, {0, 3, 2}, {8, 9, 3}, {9, 10, 2}, {10, 14, 1},
                       {14, 20, 0}, {5, 5, 0}, {6, 3, 0}, {-5, 100, 3}, {-5, 1, 0}, {13, 14, 1}};
    for (int[] w : windows) {
      String at = " [" + w[0] + "," + w[1] + ")";
      int n = JPileographJNI.Pileograph_GetNumReadsInWindow(e, w[0], w[1]);
      Check.equal(who + " count" + at, w[2], n);
      for (int col = -1; col <= 15; col++) {
        Check.equal(who + " characters per read" + at + " col " + col, n,
            JPileographJNI.Pileograph_GetAlignedCharacters(e, w[0], w[1], col).length());
      }
      Check.equal(who + " name past the count" + at, "NOT FOUND",
          JPileographJNI.Pileograph_GetWindowReadName(e, w[0], w[1], n));
    }
    Check.equal(who + " window name 0", "readA", JPileographJNI.Pileograph_GetWindowReadName(e, 8, 9, 0));
    Check.equal(who + " window name 1", "readB", JPileographJNI.Pileograph_GetWindowReadName(e, 8, 9, 1));
    Check.equal(who + " window name 2", "readC", JPileographJNI.Pileograph_GetWindowReadName(e, 8, 9, 2));
    Check.equal(who + " window name -1", "NOT FOUND", JPileographJNI.Pileograph_GetWindowReadName(e, 8, 9, -1));
    Check.equal(who + " window name late", "readC", JPileographJNI.Pileograph_GetWindowReadName(e, 9, 14, 1));
    Check.equal(who + " column 8", "GGG", JPileographJNI.Pileograph_GetAlignedCharacters(e, 8, 9, 8));
    Check.equal(who + " column 4", "-C ", JPileographJNI.Pileograph_GetAlignedCharacters(e, 0, 14, 4));
    Check.equal(who + " column 11", "  A", JPileographJNI.Pileograph_GetAlignedCharacters(e, 0, 14, 11));
    Check.equal(who + " column outside window", "C", JPileographJNI.Pileograph_GetAlignedCharacters(e, 13, 14, 12));
    Check.equal(who + " empty window", "", JPileographJNI.Pileograph_GetAlignedCharacters(e, 6, 6, 7));
    Check.equal(who + " RIdx2SIdx(0, 2)", 7, JPileographJNI.Pileograph_RIdx2SIdx(e, 0, 2));
    Check.equal(who + " SIdx2RIdx(5, 0)", 4, JPileographJNI.Pileograph_SIdx2RIdx(e, 5, 0));
    Check.equal(who + " SIdx2RIdx(0, 2)", -7, JPileographJNI.Pileograph_SIdx2RIdx(e, 0, 2));
    for (int r = 0; r < 3; r++) {
      for (int x = -3; x < 12; x++) {
        int s = JPileographJNI.Pileograph_RIdx2SIdx(e, x, r);
        Check.equal(who + " round trip", x, JPileographJNI.Pileograph_SIdx2RIdx(e, s, r));
      }
    }
  }

  static void road() throws Exception {
    long e = JPileographJNI.new_Pileograph();
    Check.equal("fresh size", 0, JPileographJNI.Pileograph_GetSourceSize(e));
    Check.equal("fresh reads", 0, JPileographJNI.Pileograph_GetNumReads(e));
    JPileographJNI.Pileograph_ReadSource__SWIG_0(e, contig);
    Check.equal("contig size before merging", 11, JPileographJNI.Pileograph_GetSourceSize(e));
    JPileographJNI.Pileograph_ReadCM__SWIG_0(e, report);
    Check.equal("still the contig size", 11, JPileographJNI.Pileograph_GetSourceSize(e));
    Check.equal("no merged reads yet", 0, JPileographJNI.Pileograph_GetNumReads(e));
    JPileographJNI.Pileograph_MergeAlignments(e);
    expectExampleLayout("merged", e);
    Check.equal("usrctest.fa", ">UnionSource \nACG--TACGTA-CG\n", Check.readFile("usrctest.fa"));

    JPileographJNI.Pileograph_PrintAlignment__SWIG_0(e, "pileup.txt", 0, -1, 5);
    String expected =
        "UnionSource                  0  ACG--\n"
        + "\n"
        + "UnionSource                  5  TACGT\n"
        + "readA                        4  TACG.\n"
        + "readB                        3  TACGT\n"
        + "\n"
        + "UnionSource                 10  A-CG%\n"
        + "readA                        9  .....\n"
        + "readB                        8  .....\n"
        + "readC                        3  AACG.\n"
        + "\n";
    Check.equal("pileup", expected, Check.readFile("pileup.txt"));
    JPileographJNI.Pileograph_PrintAlignment__SWIG_0(e, "pileup.txt", -3, 1, 4);
    Check.equal("pileup window, file truncated",
        "UnionSource                 -3  ...A\n\nUnionSource                  1  CG--\nreadA                        0  CGA-\n\n",
        Check.readFile("pileup.txt"));

    JPileographJNI.Pileograph_WriteMerged(e);
    Check.equal("usource.out", ">UnionSource \nACG--TACGTA-CG\n", Check.readFile("usource.out"));
    Check.equal("ureads.out", ">readA \nCGA-TACG\n>readB \nGCCTACGT\n>readC \nCGTAACG\n",
        Check.readFile("ureads.out"));
    JPileographJNI.delete_Pileograph(e);
  }

  // The merge's inner steps one by one give the merge's layout, without
  // writing usrctest.fa.
  static void innerSteps() {
    new File("usrctest.fa").delete();
    long e = load();
    JPileographJNI.Pileograph_ConstructSourceWithUnionOfReadPads(e);
    Check.equal("union only", 14, JPileographJNI.Pileograph_GetSourceSize(e));
    JPileographJNI.Pileograph_InitWithQueries(e);
    Check.equal("offsets are contig coordinates", 5, JPileographJNI.Pileograph_RIdx2SIdx(e, 0, 2));
    JPileographJNI.Pileograph_MergeReadPads(e);
    expectExampleLayout("inner steps", e);
    Check.isTrue("inner steps write no usrctest.fa", !new File("usrctest.fa").exists());
    JPileographJNI.delete_Pileograph(e);
  }

  static void members() {
    long a = merged();
    long pre = load();  // offsets before re-padding: 2, 3, 6
    JPileographJNI.Pileograph_InitWithQueries(pre);

    // Getters hand out distinct snapshots.
    long o1 = JPileographJNI.get_Pileograph_mOffsets(a);
    long o2 = JPileographJNI.get_Pileograph_mOffsets(a);
    Check.isTrue("getter handles", o1 != 0 && o2 != 0 && o1 != o2);
    long fresh = JPileographJNI.new_Pileograph();
    Check.isTrue("fresh getters", JPileographJNI.get_Pileograph_mAdjustedOffsets(fresh) != 0
        && JPileographJNI.get_Pileograph_mCM(fresh) != 0);

    // Queries over members copied from another engine.
    long b = JPileographJNI.new_Pileograph();
    JPileographJNI.set_Pileograph_mMergedReads(b, JPileographJNI.get_Pileograph_mMergedReads(a));
    JPileographJNI.set_Pileograph_mOffsets(b, o1);
    JPileographJNI.set_Pileograph_mUnionSource(b, JPileographJNI.get_Pileograph_mUnionSource(a));
    expectExampleLayout("copied members", b);

    // No sharing in either direction, and a snapshot keeps its values.
    JPileographJNI.set_Pileograph_mOffsets(b, JPileographJNI.get_Pileograph_mOffsets(pre));
    Check.equal("b changed", 5, JPileographJNI.Pileograph_RIdx2SIdx(b, 0, 2));
    Check.equal("a unchanged", 7, JPileographJNI.Pileograph_RIdx2SIdx(a, 0, 2));
    JPileographJNI.set_Pileograph_mOffsets(b, o2);
    JPileographJNI.set_Pileograph_mOffsets(a, JPileographJNI.get_Pileograph_mOffsets(pre));
    Check.equal("a changed", 5, JPileographJNI.Pileograph_RIdx2SIdx(a, 0, 2));
    Check.equal("b unchanged", 7, JPileographJNI.Pileograph_RIdx2SIdx(b, 0, 2));
    JPileographJNI.set_Pileograph_mOffsets(fresh, o1);
    Check.equal("snapshot kept", 7, JPileographJNI.Pileograph_RIdx2SIdx(fresh, 0, 2));
    JPileographJNI.set_Pileograph_mOffsets(a, o1);
    expectExampleLayout("restored", a);

    // mAdjustedOffsets carries a vector through unchanged.
    long c = JPileographJNI.new_Pileograph();
    JPileographJNI.set_Pileograph_mAdjustedOffsets(c, o1);
    JPileographJNI.set_Pileograph_mOffsets(c, JPileographJNI.get_Pileograph_mAdjustedOffsets(c));
    JPileographJNI.set_Pileograph_mMergedReads(c, JPileographJNI.get_Pileograph_mMergedReads(a));
    JPileographJNI.set_Pileograph_mUnionSource(c, JPileographJNI.get_Pileograph_mUnionSource(a));
    expectExampleLayout("through mAdjustedOffsets", c);

    // The contig and the report copied in, then merged.
    long d = JPileographJNI.new_Pileograph();
    JPileographJNI.set_Pileograph_mSource(d, JPileographJNI.get_Pileograph_mSource(a));
    Check.equal("copied contig", 11, JPileographJNI.Pileograph_GetSourceSize(d));
    JPileographJNI.set_Pileograph_mCM(d, JPileographJNI.get_Pileograph_mCM(pre));
    JPileographJNI.Pileograph_MergeAlignments(d);
    expectExampleLayout("copied contig and report", d);

    // Aligned reads and base locations copied in, then re-padded.
    long f = JPileographJNI.new_Pileograph();
    JPileographJNI.set_Pileograph_mUnionSource(f, JPileographJNI.get_Pileograph_mUnionSource(a));
    JPileographJNI.set_Pileograph_mAlignedReads(f, JPileographJNI.get_Pileograph_mAlignedReads(pre));
    JPileographJNI.set_Pileograph_mBaseLocs(f, JPileographJNI.get_Pileograph_mBaseLocs(pre));
    JPileographJNI.set_Pileograph_mOffsets(f, JPileographJNI.get_Pileograph_mOffsets(pre));
    JPileographJNI.Pileograph_MergeReadPads(f);
    expectExampleLayout("copied aligned reads", f);

    // A setter replaces the member whole.
    JPileographJNI.set_Pileograph_mMergedReads(f, JPileographJNI.get_Pileograph_mMergedReads(fresh));
    Check.equal("merged reads replaced", 0, JPileographJNI.Pileograph_GetNumReads(f));
    JPileographJNI.set_Pileograph_mUnionSource(f, JPileographJNI.get_Pileograph_mUnionSource(fresh));
    JPileographJNI.set_Pileograph_mSource(f, JPileographJNI.get_Pileograph_mSource(fresh));
    Check.equal("contigs replaced", 0, JPileographJNI.Pileograph_GetSourceSize(f));

    for (long x : new long[] {a, pre, fresh, b, c, d, f}) JPileographJNI.delete_Pileograph(x);
  }

  // A contig byte above 127 arrives sign-extended.
  static void highByte(String path) {
    long e = JPileographJNI.new_Pileograph();
    JPileographJNI.Pileograph_ReadSource__SWIG_0(e, path);
    JPileographJNI.Pileograph_ConstructSourceWithUnionOfReadPads(e);
    Check.equal("size", 5, JPileographJNI.Pileograph_GetSourceSize(e));
    Check.equal("byte 0xE9", (int) '\uFFE9', (int) JPileographJNI.Pileograph_GetSourceBase(e, 2));
    Check.equal("byte 'G'", (int) 'G', (int) JPileographJNI.Pileograph_GetSourceBase(e, 3));
    JPileographJNI.delete_Pileograph(e);
  }

  public static void main(String[] args) throws Exception {
    contig = args[0];
    report = args[1];
    road();
    innerSteps();
    members();
    highByte(args[2]);
    Check.done("LayoutTest");
  }
}
