// Null handles, pad records, comparators and the quiet no-op calls of
// libJPileograph, called from a real JVM.
public class BindingTest {
  static final String NULL_PILEOGRAPH = "Attempt to dereference null Pileograph";
  static final String NULL_PADINFO = "Attempt to dereference null padInfo";

  interface Row {
    void call(long self) throws Exception;
  }

  static void padRecords() {
    long p = JPileographJNI.new_padInfo();
    Check.isTrue("new_padInfo gives a handle", p != 0);
    Check.equal("fresh mPadLoc", 0, JPileographJNI.get_padInfo_mPadLoc(p));
    Check.equal("fresh mReadIdx", 0, JPileographJNI.get_padInfo_mReadIdx(p));
    JPileographJNI.set_padInfo_mPadLoc(p, -1);
    JPileographJNI.set_padInfo_mReadIdx(p, Integer.MAX_VALUE);
    Check.equal("mPadLoc set", -1, JPileographJNI.get_padInfo_mPadLoc(p));
    Check.equal("mReadIdx set", Integer.MAX_VALUE, JPileographJNI.get_padInfo_mReadIdx(p));
    long q = JPileographJNI.new_padInfo();
    Check.isTrue("two records, two handles", p != q);
    Check.equal("other record untouched", 0, JPileographJNI.get_padInfo_mPadLoc(q));

    // {a.mPadLoc, a.mReadIdx, b.mPadLoc, b.mReadIdx}: signed comparisons.
    int[][] cases = {{1, 5, 2, 4}, {2, 4, 1, 5}, {3, 3, 3, 3}, {-1, -7, 0, 0}, {0, 0, -1, -7},
                     {Integer.MIN_VALUE, 0, Integer.MAX_VALUE, 0}};
    for (int[] c : cases) {
      JPileographJNI.set_padInfo_mPadLoc(p, c[0]);
      JPileographJNI.set_padInfo_mReadIdx(p, c[1]);
      JPileographJNI.set_padInfo_mPadLoc(q, c[2]);
      JPileographJNI.set_padInfo_mReadIdx(q, c[3]);
      String at = java.util.Arrays.toString(c);
      Check.equal("cmpByPadLoc " + at, c[0] < c[2], JPileographJNI.cmpByPadLoc(p, q));
      Check.equal("cmpByReadIdx " + at, c[1] < c[3], JPileographJNI.cmpByReadIdx(p, q));
      Check.equal("comparators leave records alone " + at, c[0], JPileographJNI.get_padInfo_mPadLoc(p));
    }
    JPileographJNI.delete_padInfo(p);
    JPileographJNI.delete_padInfo(q);
  }

  static void nullHandles() {
    long e = JPileographJNI.new_Pileograph();
    long pad = JPileographJNI.new_padInfo();
    long cm = JPileographJNI.get_Pileograph_mCM(e);

    // Value and reference handles: the message names the parameter's type,
    // and the first null parameter wins.
    Check.nullPointer("cmpByPadLoc a", NULL_PADINFO, () -> JPileographJNI.cmpByPadLoc(0, pad));
    Check.nullPointer("cmpByPadLoc b", NULL_PADINFO, () -> JPileographJNI.cmpByPadLoc(pad, 0));
    Check.nullPointer("cmpByPadLoc both", NULL_PADINFO, () -> JPileographJNI.cmpByPadLoc(0, 0));
    Check.nullPointer("cmpByReadIdx a", NULL_PADINFO, () -> JPileographJNI.cmpByReadIdx(0, pad));
    Check.nullPointer("cmpByReadIdx b", NULL_PADINFO, () -> JPileographJNI.cmpByReadIdx(pad, 0));
    Check.nullPointer("cmpByReadIdx both", NULL_PADINFO, () -> JPileographJNI.cmpByReadIdx(0, 0));
    for (long self : new long[] {e, 0}) {
      String at = self == 0 ? " (null self)" : "";
      Check.nullPointer("set mCM" + at, "Attempt to dereference null CMParse",
          () -> JPileographJNI.set_Pileograph_mCM(self, 0));
      Check.nullPointer("set mSource" + at, "Attempt to dereference null Sequence",
          () -> JPileographJNI.set_Pileograph_mSource(self, 0));
      Check.nullPointer("set mAlignedReads" + at, "Attempt to dereference null SequenceVector",
          () -> JPileographJNI.set_Pileograph_mAlignedReads(self, 0));
      Check.nullPointer("set mMergedReads" + at, "Attempt to dereference null SequenceVector",
          () -> JPileographJNI.set_Pileograph_mMergedReads(self, 0));
      Check.nullPointer("set mBaseLocs" + at, "Attempt to dereference null SequenceQualityVector",
          () -> JPileographJNI.set_Pileograph_mBaseLocs(self, 0));
      Check.nullPointer("set mOffsets" + at, "Attempt to dereference null vector<int >",
          () -> JPileographJNI.set_Pileograph_mOffsets(self, 0));
      Check.nullPointer("set mAdjustedOffsets" + at, "Attempt to dereference null vector<int >",
          () -> JPileographJNI.set_Pileograph_mAdjustedOffsets(self, 0));
      Check.nullPointer("set mUnionSource" + at, "Attempt to dereference null Sequence",
          () -> JPileographJNI.set_Pileograph_mUnionSource(self, 0));
      Check.nullPointer("ReadSource string object" + at, "Attempt to dereference null string",
          () -> JPileographJNI.Pileograph_ReadSource__SWIG_1(self, 0));
      Check.nullPointer("ReadCM string object" + at, "Attempt to dereference null string",
          () -> JPileographJNI.Pileograph_ReadCM__SWIG_1(self, 0));
      Check.nullPointer("PrintAlignment stream" + at, "ostream & reference is null",
          () -> JPileographJNI.Pileograph_PrintAlignment__SWIG_1(self, 0, 0, -1, 10));
      Check.nullPointer("GetMaxPadIdx both" + at, "int & reference is null",
          () -> JPileographJNI.Pileograph_GetMaxPadIdx(self, 0, 0));
      // The int handle is never read: the null list is reported first.
      Check.nullPointer("GetMaxPadIdx pads" + at, "vector<padInfo > & reference is null",
          () -> JPileographJNI.Pileograph_GetMaxPadIdx(self, pad, 0));
      Check.nullPointer("GetSortedPadLocs both" + at, "CMParse & reference is null",
          () -> JPileographJNI.Pileograph_GetSortedPadLocs(self, 0, 0));
      Check.nullPointer("GetSortedPadLocs pads" + at, "vector<padInfo > & reference is null",
          () -> JPileographJNI.Pileograph_GetSortedPadLocs(self, cm, 0));
    }

    // A null self where a live one is needed.
    Check.nullPointer("get mPadLoc", NULL_PADINFO, () -> JPileographJNI.get_padInfo_mPadLoc(0));
    Check.nullPointer("get mReadIdx", NULL_PADINFO, () -> JPileographJNI.get_padInfo_mReadIdx(0));
    Row[] rows = {
        s -> JPileographJNI.Pileograph_GetNumReadsInWindow(s, 0, 10),
        s -> JPileographJNI.Pileograph_GetWindowReadName(s, 0, 10, 0),
        s -> JPileographJNI.Pileograph_GetSourceBase(s, 0),
        s -> JPileographJNI.Pileograph_GetAlignedCharacters(s, 0, 10, 0),
        s -> JPileographJNI.Pileograph_GetNumReads(s),
        s -> JPileographJNI.Pileograph_GetReadName(s, 0),
        s -> JPileographJNI.Pileograph_GetSourceSize(s),
        s -> JPileographJNI.Pileograph_ReadSource__SWIG_0(s, "x.fa"),
        s -> JPileographJNI.Pileograph_ReadCM__SWIG_0(s, "x.cm"),
        s -> JPileographJNI.Pileograph_MergeAlignments(s),
        s -> JPileographJNI.Pileograph_WriteMerged(s),
        s -> JPileographJNI.get_Pileograph_mCM(s),
        s -> JPileographJNI.get_Pileograph_mSource(s),
        s -> JPileographJNI.get_Pileograph_mAlignedReads(s),
        s -> JPileographJNI.get_Pileograph_mMergedReads(s),
        s -> JPileographJNI.get_Pileograph_mBaseLocs(s),
        s -> JPileographJNI.get_Pileograph_mOffsets(s),
        s -> JPileographJNI.get_Pileograph_mAdjustedOffsets(s),
        s -> JPileographJNI.get_Pileograph_mUnionSource(s),
        s -> JPileographJNI.Pileograph_RIdx2SIdx(s, 0, 0),
        s -> JPileographJNI.Pileograph_SIdx2RIdx(s, 0, 0),
        s -> JPileographJNI.Pileograph_ConstructSourceWithUnionOfReadPads(s),
        s -> JPileographJNI.Pileograph_InitWithQueries(s),
        s -> JPileographJNI.Pileograph_MergeReadPads(s),
        s -> JPileographJNI.Pileograph_PrintAlignment__SWIG_0(s, "x.txt", 0, -1, 10),
    };
    for (int i = 0; i < rows.length; i++) {
      Row row = rows[i];
      Check.nullPointer("null self, row " + i, NULL_PILEOGRAPH, () -> row.call(0));
    }
    // Both null: the self check comes before the string.
    Check.nullPointer("ReadSource null self and path", NULL_PILEOGRAPH,
        () -> JPileographJNI.Pileograph_ReadSource__SWIG_0(0, null));

    // A null Java String for a path.
    Check.nullPointer("ReadSource null path", "null string",
        () -> JPileographJNI.Pileograph_ReadSource__SWIG_0(e, null));
    Check.nullPointer("ReadCM null path", "null string",
        () -> JPileographJNI.Pileograph_ReadCM__SWIG_0(e, null));
    Check.nullPointer("PrintAlignment null path", "null string",
        () -> JPileographJNI.Pileograph_PrintAlignment__SWIG_0(e, null, 0, -1, 10));
    Check.equal("nothing reached the engine", 0, JPileographJNI.Pileograph_GetSourceSize(e));
    Check.equal("nothing reached the engine", 0, JPileographJNI.Pileograph_GetNumReads(e));

    // Calls that do nothing and raise nothing.
    Check.quiet("set padInfo field, null self", () -> {
      JPileographJNI.set_padInfo_mPadLoc(0, 5);
      JPileographJNI.set_padInfo_mReadIdx(0, 5);
    });
    Check.quiet("member setters, valid value and null self", () -> {
      JPileographJNI.set_Pileograph_mCM(0, cm);
      JPileographJNI.set_Pileograph_mSource(0, JPileographJNI.get_Pileograph_mSource(e));
      JPileographJNI.set_Pileograph_mAlignedReads(0, JPileographJNI.get_Pileograph_mAlignedReads(e));
      JPileographJNI.set_Pileograph_mMergedReads(0, JPileographJNI.get_Pileograph_mMergedReads(e));
      JPileographJNI.set_Pileograph_mBaseLocs(0, JPileographJNI.get_Pileograph_mBaseLocs(e));
      JPileographJNI.set_Pileograph_mOffsets(0, JPileographJNI.get_Pileograph_mOffsets(e));
      JPileographJNI.set_Pileograph_mAdjustedOffsets(0, JPileographJNI.get_Pileograph_mAdjustedOffsets(e));
      JPileographJNI.set_Pileograph_mUnionSource(0, JPileographJNI.get_Pileograph_mUnionSource(e));
    });
    Check.quiet("delete with 0", () -> {
      JPileographJNI.delete_padInfo(0);
      JPileographJNI.delete_Pileograph(0);
    });
    Check.quiet("missing and empty paths", () -> {
      JPileographJNI.Pileograph_ReadSource__SWIG_0(e, "");
      JPileographJNI.Pileograph_ReadCM__SWIG_0(e, "");
      JPileographJNI.Pileograph_ReadSource__SWIG_0(e, "no-such-dir/none.fa");
      JPileographJNI.Pileograph_ReadCM__SWIG_0(e, "no-such-dir/none.cm");
      JPileographJNI.Pileograph_PrintAlignment__SWIG_0(e, "", 0, -1, 10);
      JPileographJNI.Pileograph_PrintAlignment__SWIG_0(e, "no-such-dir/out.txt", 0, -1, 10);
    });
    Check.equal("still empty", 0, JPileographJNI.Pileograph_GetSourceSize(e));

    // The engine keeps working after every exception above.
    Check.equal("fresh engine reads", 0, JPileographJNI.Pileograph_GetNumReads(e));
    Check.equal("fresh engine window", 0, JPileographJNI.Pileograph_GetNumReadsInWindow(e, 0, 10));
    Check.equal("fresh engine name", "NOT FOUND", JPileographJNI.Pileograph_GetWindowReadName(e, 0, 10, 0));
    Check.equal("fresh engine characters", "", JPileographJNI.Pileograph_GetAlignedCharacters(e, 0, 10, 0));
    JPileographJNI.delete_padInfo(pad);
    JPileographJNI.delete_Pileograph(e);
  }

  public static void main(String[] args) {
    padRecords();
    nullHandles();
    Check.done("BindingTest");
  }
}
