import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;

// Assertions for the plain-java test programs: failures are counted and
// printed, and done() exits non-zero when any check failed.
final class Check {
  private static int failures = 0;
  private static int checks = 0;

  private Check() {}

  static void fail(String what) {
    failures++;
    System.out.println("FAILED: " + what);
    new Throwable().printStackTrace(System.out);
  }

  static void isTrue(String what, boolean cond) {
    checks++;
    if (!cond) fail(what);
  }

  static void equal(String what, Object expected, Object actual) {
    checks++;
    if (expected == null ? actual != null : !expected.equals(actual)) {
      fail(what + ": expected <" + expected + "> but got <" + actual + ">");
    }
  }

  static void equal(String what, long expected, long actual) {
    equal(what, Long.valueOf(expected), Long.valueOf(actual));
  }

  interface Call {
    void run() throws Exception;
  }

  // The call must throw exactly `type` carrying `message`.
  static void throwsWith(String what, Class<? extends Throwable> type, String message, Call call) {
    checks++;
    try {
      call.run();
      fail(what + ": no exception, expected " + type.getName() + " \"" + message + "\"");
    } catch (Throwable t) {
      if (t.getClass() != type || !message.equals(t.getMessage())) {
        fail(what + ": expected " + type.getName() + " \"" + message + "\" but got " + t);
      }
    }
  }

  static void nullPointer(String what, String message, Call call) {
    throwsWith(what, NullPointerException.class, message, call);
  }

  static void quiet(String what, Call call) {
    checks++;
    try {
      call.run();
    } catch (Throwable t) {
      fail(what + ": unexpected " + t);
    }
  }

  static String readFile(String path) throws IOException {
    return new String(Files.readAllBytes(Paths.get(path)), StandardCharsets.ISO_8859_1);
  }

  static void done(String program) {
    System.out.println(program + ": " + checks + " checks, " + failures + " failed");
    System.exit(failures == 0 ? 0 : 1);
  }
}
